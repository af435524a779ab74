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
    std::string_view span(std::size_t from, std::size_t to) const { return bytes_.substr(from, to - from); }
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

// The head, its checksum included.
bool readHead(Reader &reader, OverviewCacheKey &key) {
    const std::size_t start = reader.position();
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
    const std::string_view head = reader.span(start, reader.position());
    std::string_view stored;
    if (!reader.bytes(stored, kChecksumBytes)) return false;
    CacheChecksum checksum;
    checksum.update(head);
    if (checksum.value() != littleEndian64(stored)) return false;
    key = {std::string(server), static_cast<int32_t>(port), tls[0] == 1, std::string(group)};
    return true;
}

// A segment's numbers and length. `records` is the records' bytes, `hashed` the bytes the
// segment checksum covers before them, `stored` the checksum itself.
struct SegmentBytes {
    OverviewCacheSegment segment;
    std::string_view hashed;
    std::string_view records;
    std::string_view stored;
};

bool readSegment(Reader &reader, SegmentBytes &out) {
    const std::size_t start = reader.position();
    uint64_t count = 0;
    if (!reader.number(out.segment.first) || !reader.number(out.segment.last) || out.segment.first > out.segment.last ||
        !reader.varint(count))
        return false;
    out.segment.count = count;
    out.hashed = reader.span(start, reader.position());
    std::string_view length;
    if (!reader.bytes(length, 8)) return false;
    const uint64_t recordBytes = littleEndian64(length);
    if (recordBytes > reader.left()) return false;
    return reader.bytes(out.records, static_cast<std::size_t>(recordBytes)) && reader.bytes(out.stored, kChecksumBytes);
}

// Walks one segment's records; false at the first byte out of place.
bool walkRecords(const OverviewCacheSegment &segment, std::string_view records,
                 const std::function<void(const CachedArticle &)> &visit) {
    Reader reader(records);
    // Every record takes at least five bytes: a count beyond that is a lie.
    if (segment.count > reader.left() / 5) return false;
    std::vector<std::string_view> names;
    int64_t number = segment.first;
    for (uint64_t i = 0; i < segment.count; ++i) {
        CachedArticle article;
        uint64_t step = 0;
        if (!reader.varint(step)) return false;
        if ((i > 0 && step == 0) || step > static_cast<uint64_t>(segment.last - number)) return false;
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
        // The message-id and the date lie side by side, so the parts table can point at them.
        uint64_t messageIdLength = 0;
        uint64_t dateLength = 0;
        if (!reader.varint(messageIdLength) || messageIdLength == 0 || messageIdLength > kMaxCachedText ||
            !reader.varint(dateLength) || dateLength > kMaxCachedText ||
            !reader.bytes(article.messageId, static_cast<std::size_t>(messageIdLength)) ||
            !reader.bytes(article.date, static_cast<std::size_t>(dateLength)))
            return false;

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

// Walks the whole file. With `verify`, every checksum and record is tested; without, only the
// head and the segments' numbers and lengths (a peek), or records are visited of a file already
// verified.
bool walkFile(std::string_view bytes, OverviewCacheHeader &header, bool verify, bool records,
              const std::function<void(const CachedArticle &)> &visit) {
    header = OverviewCacheHeader{};
    Reader reader(bytes);
    if (!readHead(reader, header.key)) return false;
    while (reader.left() > 0) {
        SegmentBytes segment;
        if (!readSegment(reader, segment)) return false;
        // Segments follow one another without a gap, so together they cover one range.
        if (header.segments > 0 && (header.last == INT64_MAX || segment.segment.first != header.last + 1)) return false;
        if (verify) {
            CacheChecksum checksum;
            checksum.update(segment.hashed);
            checksum.update(segment.records);
            if (checksum.value() != littleEndian64(segment.stored)) return false;
        }
        if ((verify || records) && !walkRecords(segment.segment, segment.records, records ? visit : nullptr))
            return false;
        if (header.segments == 0) header.first = segment.segment.first;
        header.last = segment.segment.last;
        header.count += segment.segment.count;
        ++header.segments;
    }
    return header.segments > 0;
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
                        article.messageId.size() + varintBytes(article.date.size()) + article.date.size() +
                        varintBytes(static_cast<uint64_t>(article.partIndex)) + varintBytes(zigZag(article.partCount));
    if (newName) bytes += varintBytes(article.baseName.size()) + article.baseName.size();
    return bytes;
}

bool peekOverviewCache(std::string_view bytes, OverviewCacheHeader &header) {
    return walkFile(bytes, header, false, false, nullptr);
}

bool checkOverviewCache(std::string_view bytes, OverviewCacheHeader &header) {
    return walkFile(bytes, header, true, false, nullptr);
}

void visitCheckedOverviewCache(std::string_view bytes, const std::function<void(const CachedArticle &)> &visit) {
    OverviewCacheHeader header;
    walkFile(bytes, header, false, true, visit);
}

bool decodeOverviewCache(std::string_view bytes, OverviewCacheHeader &header, std::vector<CachedArticle> &articles) {
    articles.clear();
    if (!checkOverviewCache(bytes, header)) return false;
    articles.reserve(static_cast<std::size_t>(header.count));
    visitCheckedOverviewCache(bytes, [&articles](const CachedArticle &article) { articles.push_back(article); });
    return true;
}

std::string encodeOverviewCacheHead(const OverviewCacheKey &key) {
    std::string head(kMagic);
    for (std::size_t i = 0; i < 4; ++i) head.push_back(static_cast<char>((kOverviewCacheVersion >> (8 * i)) & 0xFF));
    const auto putVarint = [&head](uint64_t value) {
        while (value >= 0x80) {
            head.push_back(static_cast<char>((value & 0x7F) | 0x80));
            value >>= 7;
        }
        head.push_back(static_cast<char>(value));
    };
    const std::string_view server = std::string_view(key.server).substr(0, kMaxKeyText);
    const std::string_view group = std::string_view(key.group).substr(0, kMaxKeyText);
    putVarint(server.size());
    head.append(server);
    putVarint(static_cast<uint64_t>(std::max<int32_t>(key.port, 0)));
    head.push_back(key.tls ? 1 : 0);
    putVarint(group.size());
    head.append(group);
    CacheChecksum checksum;
    checksum.update(head);
    const uint64_t value = checksum.value();
    for (std::size_t i = 0; i < 8; ++i) head.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return head;
}

OverviewCacheEncoder::OverviewCacheEncoder(const OverviewCacheSegment &segment)
    : segment_(segment), previousNumber_(segment.first) {
    putVarint(static_cast<uint64_t>(std::max<int64_t>(segment.first, 0)));
    putVarint(static_cast<uint64_t>(std::max<int64_t>(segment.last, 0)));
    putVarint(segment.count);
    take();
    lengthOffset_ = out_.size();
    out_.append(8, '\0');
    hashedUpTo_ = out_.size();  // the length is not part of the checksum
}

void OverviewCacheEncoder::take() {
    checksum_.update(std::string_view(out_).substr(hashedUpTo_));
    hashedUpTo_ = out_.size();
}

std::string OverviewCacheEncoder::lengthField() const {
    std::string field;
    for (std::size_t i = 0; i < 8; ++i) field.push_back(static_cast<char>((recordBytes_ >> (8 * i)) & 0xFF));
    return field;
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
    if (finished_ || added_ >= segment_.count || article.number < segment_.first || article.number > segment_.last)
        return false;
    if (added_ > 0 && article.number <= previousNumber_) return false;
    if (article.baseName.size() > kMaxCachedText || article.messageId.size() > kMaxCachedText ||
        article.date.size() > kMaxCachedText || article.messageId.empty() || article.partIndex < 0)
        return false;

    const std::size_t before = out_.size();
    putVarint(static_cast<uint64_t>(article.number - previousNumber_));
    previousNumber_ = article.number;
    const auto [name, isNew] = names_.try_emplace(article.baseName, names_.size() + 1);
    if (isNew) {
        putVarint(0);
        putText(article.baseName);
    } else {
        putVarint(name->second);
    }
    putVarint(article.messageId.size());
    putVarint(article.date.size());
    out_.append(article.messageId);
    out_.append(article.date);
    putVarint(static_cast<uint64_t>(article.partIndex));
    putVarint(zigZag(article.partCount));
    recordBytes_ += out_.size() - before;
    ++added_;
    return true;
}

void OverviewCacheEncoder::consumed() {
    if (!finished_) take();
    out_.clear();
    hashedUpTo_ = 0;
}

bool OverviewCacheEncoder::finish() {
    if (added_ != segment_.count || finished_) return false;
    take();
    finished_ = true;
    const uint64_t value = checksum_.value();
    for (std::size_t i = 0; i < 8; ++i) out_.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return true;
}

namespace {

bool appendSegment(const OverviewCacheSegment &announced, const std::vector<CachedArticle> &articles,
                   std::string &bytes) {
    OverviewCacheSegment segment = announced;
    segment.count = articles.size();
    const std::size_t start = bytes.size();
    OverviewCacheEncoder encoder(segment);
    std::string whole;
    for (const CachedArticle &article : articles) {
        if (!encoder.add(article)) return false;
        whole.append(encoder.pending());
        encoder.consumed();
    }
    if (!encoder.finish()) return false;
    whole.append(encoder.pending());
    whole.replace(encoder.lengthOffset(), 8, encoder.lengthField());
    bytes.resize(start);
    bytes.append(whole);
    return true;
}

}  // namespace

bool encodeOverviewCache(const OverviewCacheHeader &header, const std::vector<CachedArticle> &articles,
                         std::string &bytes) {
    std::string file = encodeOverviewCacheHead(header.key);
    if (!appendSegment({header.first, header.last, 0}, articles, file)) return false;
    bytes.swap(file);
    return true;
}

bool appendOverviewCacheSegment(const OverviewCacheSegment &segment, const std::vector<CachedArticle> &articles,
                                std::string &bytes) {
    return appendSegment(segment, articles, bytes);
}

}  // namespace corvane
