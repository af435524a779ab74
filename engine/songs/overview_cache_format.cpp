#include "songs/overview_cache_format.h"

#include <algorithm>
#include <cstring>

namespace corvane {
namespace {

constexpr std::string_view kMagic = "HBOVCACH";
// The longest server name and group name a file may carry (the settings hold 128 and 255).
constexpr std::size_t kMaxKeyText = 1024;
constexpr std::size_t kChecksumBytes = 8;
constexpr std::size_t kMaxVarintBytes = 10;

std::size_t varintBytes(uint64_t value) {
    std::size_t bytes = 1;
    while (value >= 0x80) {
        value >>= 7;
        ++bytes;
    }
    return bytes;
}

uint64_t zigZag(int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    return static_cast<uint32_t>((bits << 1) ^ (value < 0 ? UINT32_MAX : 0u));
}

// Every read checks the bytes left first, so a truncated or lying file ends the decode cleanly.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool varint(uint64_t &value) {
        value = 0;
        for (std::size_t i = 0; i < kMaxVarintBytes; ++i) {
            if (pos_ >= bytes_.size()) return false;
            const auto byte = static_cast<unsigned char>(bytes_[pos_++]);
            if (i == kMaxVarintBytes - 1 && byte > 1) return false;  // past 64 bits
            value |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
            if (!(byte & 0x80)) return true;
        }
        return false;
    }
    bool number(int64_t &value) {
        uint64_t raw = 0;
        if (!varint(raw) || raw > static_cast<uint64_t>(INT64_MAX)) return false;
        value = static_cast<int64_t>(raw);
        return true;
    }
    bool text(std::string_view &value, std::size_t longest) {
        uint64_t length = 0;
        if (!varint(length) || length > longest) return false;
        return bytes(value, static_cast<std::size_t>(length));
    }
    bool bytes(std::string_view &value, std::size_t length) {
        if (length > bytes_.size() - pos_) return false;
        value = bytes_.substr(pos_, length);
        pos_ += length;
        return true;
    }
    std::size_t left() const { return bytes_.size() - pos_; }
    std::size_t position() const { return pos_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

uint64_t littleEndian64(std::string_view bytes) {
    uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
    return value;
}

bool readHeader(Reader &reader, OverviewCacheHeader &header) {
    std::string_view magic;
    std::string_view version;
    if (!reader.bytes(magic, kMagic.size()) || magic != kMagic) return false;
    if (!reader.bytes(version, 4)) return false;
    uint32_t versionNumber = 0;
    for (std::size_t i = 0; i < 4; ++i)
        versionNumber |= static_cast<uint32_t>(static_cast<unsigned char>(version[i])) << (8 * i);
    if (versionNumber != kOverviewCacheVersion) return false;

    std::string_view server;
    std::string_view group;
    std::string_view tls;
    uint64_t port = 0;
    if (!reader.text(server, kMaxKeyText) || !reader.varint(port) || port > INT32_MAX || !reader.bytes(tls, 1) ||
        (tls[0] != 0 && tls[0] != 1) || !reader.text(group, kMaxKeyText))
        return false;
    header.key = {std::string(server), static_cast<int32_t>(port), tls[0] == 1, std::string(group)};
    return reader.number(header.first) && reader.number(header.last) && header.first <= header.last &&
           reader.varint(header.count);
}

}  // namespace

void CacheChecksum::mix(uint64_t word) {
    state_ ^= word * 0x87C37B91114253D5ull;
    state_ = ((state_ << 31) | (state_ >> 33)) * 0x4CF5AD432745937Full;
}

void CacheChecksum::update(std::string_view bytes) {
    total_ += bytes.size();
    std::size_t pos = 0;
    if (tailSize_ > 0) {
        while (tailSize_ < 8 && pos < bytes.size()) tail_[tailSize_++] = static_cast<unsigned char>(bytes[pos++]);
        if (tailSize_ < 8) return;
        uint64_t word = 0;
        std::memcpy(&word, tail_, 8);
        mix(word);
        tailSize_ = 0;
    }
    for (; bytes.size() - pos >= 8; pos += 8) {
        uint64_t word = 0;
        std::memcpy(&word, bytes.data() + pos, 8);
        mix(word);
    }
    while (pos < bytes.size()) tail_[tailSize_++] = static_cast<unsigned char>(bytes[pos++]);
}

uint64_t CacheChecksum::value() const {
    CacheChecksum copy = *this;
    uint64_t word = 0;
    std::memcpy(&word, copy.tail_, copy.tailSize_);
    copy.mix(word ^ (copy.total_ << 3));
    uint64_t h = copy.state_;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

std::size_t cachedArticleBytesBound(const CachedArticle &article, bool newName) {
    std::size_t bytes = kMaxVarintBytes + kMaxVarintBytes + varintBytes(article.messageId.size()) +
                        article.messageId.size() + varintBytes(article.date.size() + 1) + article.date.size() +
                        varintBytes(static_cast<uint64_t>(article.partIndex)) + varintBytes(zigZag(article.partCount));
    if (newName) bytes += varintBytes(article.baseName.size()) + article.baseName.size();
    return bytes;
}

bool decodeOverviewCacheHeader(std::string_view bytes, OverviewCacheHeader &header) {
    Reader reader(bytes);
    return readHeader(reader, header);
}

namespace {

// Walks the records behind the header; false at the first byte out of place.
bool walkRecords(Reader &reader, const OverviewCacheHeader &header,
                 const std::function<void(const CachedArticle &)> &visit) {
    // Every record takes at least five bytes: a count beyond that is a lie, not a reason to
    // reserve or walk anything.
    if (header.count > reader.left() / 5) return false;
    std::vector<std::string_view> names;
    int64_t number = header.first;
    std::string_view date;
    bool haveDate = false;
    for (uint64_t i = 0; i < header.count; ++i) {
        CachedArticle article;
        uint64_t step = 0;
        if (!reader.varint(step)) return false;
        if ((i > 0 && step == 0) || step > static_cast<uint64_t>(header.last - number)) return false;
        number += static_cast<int64_t>(step);
        article.number = number;

        uint64_t name = 0;
        if (!reader.varint(name)) return false;
        if (name == 0) {
            if (!reader.text(article.baseName, kMaxCachedText)) return false;
            names.push_back(article.baseName);
        } else if (name > names.size()) {
            return false;
        } else {
            article.baseName = names[static_cast<std::size_t>(name - 1)];
        }
        if (!reader.text(article.messageId, kMaxCachedText) || article.messageId.empty()) return false;

        uint64_t dateLength = 0;
        if (!reader.varint(dateLength)) return false;
        if (dateLength == 0) {
            if (!haveDate) return false;
        } else if (dateLength - 1 > kMaxCachedText || !reader.bytes(date, static_cast<std::size_t>(dateLength - 1))) {
            return false;
        }
        haveDate = true;
        article.date = date;

        uint64_t partIndex = 0;
        uint64_t partCount = 0;
        if (!reader.varint(partIndex) || partIndex > INT32_MAX || !reader.varint(partCount) || partCount > UINT32_MAX)
            return false;
        article.partIndex = static_cast<int32_t>(partIndex);
        const auto zigZagged = static_cast<uint32_t>(partCount);
        article.partCount = static_cast<int32_t>((zigZagged >> 1) ^ (0u - (zigZagged & 1)));
        if (visit) visit(article);
    }
    return reader.left() == 0;
}

}  // namespace

bool checkOverviewCache(std::string_view bytes, OverviewCacheHeader &header) {
    if (bytes.size() < kChecksumBytes) return false;
    const std::string_view body = bytes.substr(0, bytes.size() - kChecksumBytes);
    CacheChecksum checksum;
    checksum.update(body);
    if (checksum.value() != littleEndian64(bytes.substr(body.size()))) return false;
    Reader reader(body);
    return readHeader(reader, header) && walkRecords(reader, header, {});
}

void visitCheckedOverviewCache(std::string_view bytes, const std::function<void(const CachedArticle &)> &visit) {
    if (bytes.size() < kChecksumBytes) return;
    Reader reader(bytes.substr(0, bytes.size() - kChecksumBytes));
    OverviewCacheHeader header;
    if (readHeader(reader, header)) walkRecords(reader, header, visit);
}

bool decodeOverviewCache(std::string_view bytes, OverviewCacheHeader &header, std::vector<CachedArticle> &articles) {
    articles.clear();
    if (!checkOverviewCache(bytes, header)) return false;
    articles.reserve(static_cast<std::size_t>(header.count));
    visitCheckedOverviewCache(bytes, [&articles](const CachedArticle &article) { articles.push_back(article); });
    return true;
}

OverviewCacheEncoder::OverviewCacheEncoder(const OverviewCacheHeader &header)
    : header_(header), previousNumber_(header.first) {
    out_.append(kMagic);
    for (std::size_t i = 0; i < 4; ++i) out_.push_back(static_cast<char>((kOverviewCacheVersion >> (8 * i)) & 0xFF));
    putText(header.key.server.substr(0, kMaxKeyText));
    putVarint(static_cast<uint64_t>(std::max<int32_t>(header.key.port, 0)));
    out_.push_back(header.key.tls ? 1 : 0);
    putText(header.key.group.substr(0, kMaxKeyText));
    putVarint(static_cast<uint64_t>(header.first));
    putVarint(static_cast<uint64_t>(header.last));
    putVarint(header.count);
}

void OverviewCacheEncoder::putVarint(uint64_t value) {
    while (value >= 0x80) {
        out_.push_back(static_cast<char>((value & 0x7F) | 0x80));
        value >>= 7;
    }
    out_.push_back(static_cast<char>(value));
}

void OverviewCacheEncoder::putText(std::string_view text) {
    putVarint(text.size());
    out_.append(text);
}

bool OverviewCacheEncoder::add(const CachedArticle &article) {
    if (finished_ || added_ >= header_.count || article.number < header_.first || article.number > header_.last)
        return false;
    if (added_ > 0 && article.number <= previousNumber_) return false;
    if (article.baseName.size() > kMaxCachedText || article.messageId.size() > kMaxCachedText ||
        article.date.size() > kMaxCachedText || article.messageId.empty() || article.partIndex < 0)
        return false;

    putVarint(static_cast<uint64_t>(article.number - previousNumber_));
    previousNumber_ = article.number;
    const auto [name, isNew] = names_.try_emplace(article.baseName, names_.size() + 1);
    if (isNew) {
        putVarint(0);
        putText(article.baseName);
    } else {
        putVarint(name->second);
    }
    putText(article.messageId);
    // The parts of one post mostly share their date.
    if (haveDate_ && article.date == previousDate_) {
        putVarint(0);
    } else {
        putVarint(article.date.size() + 1);
        out_.append(article.date);
    }
    previousDate_ = article.date;
    haveDate_ = true;
    putVarint(static_cast<uint64_t>(article.partIndex));
    putVarint(zigZag(article.partCount));
    ++added_;
    return true;
}

void OverviewCacheEncoder::consumed() {
    if (!finished_) checksum_.update(out_);
    out_.clear();
}

bool OverviewCacheEncoder::finish() {
    if (added_ != header_.count || finished_) return false;
    checksum_.update(out_);
    finished_ = true;
    const uint64_t value = checksum_.value();
    for (std::size_t i = 0; i < 8; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return true;
}

bool encodeOverviewCache(const OverviewCacheHeader &header, const std::vector<CachedArticle> &articles,
                         std::string &bytes) {
    OverviewCacheHeader counted = header;
    counted.count = articles.size();
    OverviewCacheEncoder encoder(counted);
    std::string whole;
    for (const CachedArticle &article : articles) {
        if (!encoder.add(article)) return false;
        whole.append(encoder.pending());
        encoder.consumed();
    }
    if (!encoder.finish()) return false;
    whole.append(encoder.pending());
    bytes.swap(whole);
    return true;
}

}  // namespace corvane
