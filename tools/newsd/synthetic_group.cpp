#include "synthetic_group.h"

#include <charconv>
#include <stdexcept>

#include "news_time.h"
#include "synthetic_names.h"
#include "yenc/yenc_encoder.h"

namespace harbeat::newsd {

namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;
// Seconds between the Date headers of neighbouring articles.
constexpr std::int64_t kPostInterval = 7;
constexpr std::uint64_t kArtistCount = std::size(names::kArtists);
constexpr std::uint64_t kTitleCount = std::size(names::kTitles);
constexpr std::uint64_t kYearSpan = 60;
// Songs with distinct (artist, title, year); later songs add a take number to stay unique.
constexpr std::uint64_t kNameCombinations = kArtistCount * kTitleCount * kYearSpan;
constexpr std::size_t kShortestSubject = 60;
constexpr std::size_t kLongestSubject = 80;
constexpr std::string_view kRepostPrefix = "[repost] ";
constexpr std::string_view kBitrates[] = {"128", "160", "192", "256", "320"};

std::uint64_t mix(std::uint64_t value) {
    value += kGolden;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

std::uint64_t hashText(std::string_view text) {
    std::uint64_t hash = 0xCBF29CE484222325ULL;
    for (unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ULL;
    return hash;
}

std::size_t digitCount(std::uint64_t value) {
    std::size_t digits = 1;
    while (value >= 10) {
        value /= 10;
        ++digits;
    }
    return digits;
}

void appendHex8(std::string &out, std::uint32_t value) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (int shift = 28; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 15];
}

char uuChar(unsigned value) { return value == 0 ? '`' : char(value + 32); }

std::size_t uuLineLength(int bytes) { return 1 + 4 * ((std::size_t(bytes) + 2) / 3) + 2; }

}  // namespace

struct SyntheticGroup::Post {
    std::uint64_t number;
    std::uint64_t offset;
    std::uint64_t song;
    int part;  // 1-based
    std::uint64_t hash;
    std::string_view artist;
    std::string_view title;
    std::string_view version;
    unsigned year;
    std::uint64_t take;  // 0 for the first songs of a name
    std::string_view bitrate;
    bool square;  // "[k/m]" instead of "(k/m)"
    bool repost;
    bool yenc;  // '"name" yEnc (k/m)' and a yEnc body
};

SyntheticGroup::SyntheticGroup(std::string name, std::uint64_t articleCount, std::uint64_t firstNumber,
                               const SyntheticGroupOptions &options, std::string xrefHost)
    : name_(std::move(name)),
      count_(articleCount),
      first_(firstNumber),
      options_(options),
      xrefHost_(std::move(xrefHost)),
      key_(mix(options.seed) ^ hashText(name_)) {
    if (options_.partsPerSong < 1 || options_.partsPerSong > 999) {
        throw std::invalid_argument("partsPerSong must be 1-999");
    }
    if (options_.linesPerPart < 0 || options_.linesPerPart > 1000000) {
        throw std::invalid_argument("linesPerPart must be 0-1000000");
    }
    if (options_.tailBytes < 0 || options_.tailBytes > 44) throw std::invalid_argument("tailBytes must be 0-44");
    constexpr std::uint64_t kMaxNumber = std::uint64_t(1) << 62;
    if (first_ < 1 || first_ > kMaxNumber || count_ > kMaxNumber) {
        throw std::invalid_argument("article numbers out of range");
    }
    const std::uint64_t every = options_.incompleteEvery;
    const std::uint64_t parts = std::uint64_t(options_.partsPerSong);
    const std::uint64_t missingPart = parts >= 2 ? 1 : 0;
    if (every > 0 && count_ > missingPart) {
        // Songs every - 1, 2 * every - 1, ... whose missing part lies inside the group.
        const std::uint64_t lastSong = (count_ - 1 - missingPart) / parts;
        if (lastSong >= every - 1) gapCount_ = (lastSong - (every - 1)) / every + 1;
    }
}

bool SyntheticGroup::isGap(std::uint64_t offset) const {
    const std::uint64_t every = options_.incompleteEvery;
    if (every == 0) return false;
    const std::uint64_t parts = std::uint64_t(options_.partsPerSong);
    const std::uint64_t song = offset / parts;
    const std::uint64_t missingPart = parts >= 2 ? 1 : 0;
    return song % every == every - 1 && offset % parts == missingPart;
}

std::uint64_t SyntheticGroup::presentCount() const { return count_ - gapCount_ - expiredCount_.load(); }

bool SyntheticGroup::isPresent(std::uint64_t number) const {
    if (number < first_ || number - first_ >= count_) return false;
    if (isGap(number - first_)) return false;
    if (expiredCount_.load(std::memory_order_acquire) == 0) return true;
    std::lock_guard lock(expiredMutex_);
    return !expired_.contains(number);
}

std::optional<std::uint64_t> SyntheticGroup::firstPresentIn(std::uint64_t from, std::uint64_t to) const {
    if (count_ == 0) return std::nullopt;
    if (from < first_) from = first_;
    if (to > lastNumber()) to = lastNumber();
    for (std::uint64_t number = from; number <= to; ++number) {
        if (isPresent(number)) return number;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> SyntheticGroup::lastPresentIn(std::uint64_t from, std::uint64_t to) const {
    if (count_ == 0) return std::nullopt;
    if (from < first_) from = first_;
    if (to > lastNumber()) to = lastNumber();
    for (std::uint64_t number = to; number >= from && number >= first_; --number) {
        if (isPresent(number)) return number;
        if (number == from) break;
    }
    return std::nullopt;
}

bool SyntheticGroup::expire(std::uint64_t number) {
    if (!isPresent(number)) return false;
    std::lock_guard lock(expiredMutex_);
    if (!expired_.insert(number).second) return false;
    expiredCount_.fetch_add(1, std::memory_order_release);
    return true;
}

SyntheticGroup::Post SyntheticGroup::post(std::uint64_t number) const {
    Post p{};
    p.number = number;
    p.offset = number - first_;
    const std::uint64_t parts = std::uint64_t(options_.partsPerSong);
    p.song = p.offset / parts;
    p.part = int(p.offset % parts) + 1;
    p.hash = mix(key_ ^ (p.song * kGolden));
    // The song index picks artist, title and year as digits of a mixed-radix number, so every
    // song of a group has its own name; the key only rotates the tables per group.
    p.artist = names::kArtists[(p.song + key_) % kArtistCount];
    p.title = names::kTitles[(p.song / kArtistCount + (key_ >> 8)) % kTitleCount];
    p.year = unsigned(1950 + (p.song / (kArtistCount * kTitleCount) + (key_ >> 16)) % kYearSpan);
    p.take = p.song / kNameCombinations;
    p.version = names::kVersions[p.hash % std::size(names::kVersions)];
    p.bitrate = kBitrates[(p.hash >> 8) % std::size(kBitrates)];
    p.square = (p.hash >> 16) % 8 == 0;
    p.repost = (p.hash >> 24) % 16 == 0;
    p.yenc = options_.yencEvery > 0 && p.song % options_.yencEvery == 0;
    if (p.yenc) p.square = false;
    return p;
}

// Every part of a song must carry the same name, so length decisions take the widest part
// marker: ".mp3 (m/m)", and for a yEnc post the quotes and " yEnc" too.
std::size_t SyntheticGroup::subjectSuffixLength(const Post &p) const {
    return 4 + 4 + 2 * digitCount(std::uint64_t(options_.partsPerSong)) + (p.yenc ? 7 : 0);
}

// "Artist - Title (Version Year)", " - Take N" for repeated names, tags for short names, ".mp3".
// Subjects stay in the usual 60-80 characters: a long name drops its version, a short one gets a
// bitrate tag and, if still short, an edition tag.
void SyntheticGroup::appendFileName(std::string &out, const Post &p) const {
    const std::size_t start = out.size();
    const std::size_t suffix = subjectSuffixLength(p);
    const std::size_t takeLength = p.take > 0 ? 8 + digitCount(p.take + 1) : 0;
    const std::size_t plainLength = p.artist.size() + 3 + p.title.size() + 2 + 4 + 1 + takeLength + suffix;
    const bool withVersion = plainLength + p.version.size() + 1 <= kLongestSubject;
    out.append(p.artist);
    out.append(" - ");
    out.append(p.title);
    out.append(" (");
    if (withVersion) {
        out.append(p.version);
        out += ' ';
    }
    appendNumber(out, p.year);
    out += ')';
    if (p.take > 0) {
        out.append(" - Take ");
        appendNumber(out, p.take + 1);
    }
    if (out.size() - start + suffix < kShortestSubject) {
        out.append(" [");
        out.append(p.bitrate);
        out.append("kbps]");
    }
    if (out.size() - start + suffix < kShortestSubject) out.append(p.square ? " - Stereo" : " - Full Length");
    out.append(".mp3");
}

std::size_t SyntheticGroup::appendSubject(std::string &out, const Post &p) const {
    const std::size_t start = out.size();
    if (p.yenc) out += '"';
    appendFileName(out, p);
    const std::size_t fileNameLength = out.size() - start - (p.yenc ? 1 : 0);
    if (p.yenc) out.append("\" yEnc");
    out.append(p.square ? " [" : " (");
    appendNumber(out, std::uint64_t(p.part));
    out += '/';
    appendNumber(out, std::uint64_t(options_.partsPerSong));
    out += p.square ? ']' : ')';
    if (p.repost && fileNameLength + subjectSuffixLength(p) - 4 + kRepostPrefix.size() <= kLongestSubject) {
        out.insert(start, kRepostPrefix);
    }
    return fileNameLength;
}

void SyntheticGroup::appendFrom(std::string &out, const Post &p) const {
    const std::string_view poster = names::kPosters[(p.hash >> 32) % std::size(names::kPosters)];
    const std::string_view domain = names::kPosterDomains[(p.hash >> 40) % std::size(names::kPosterDomains)];
    out.append(poster);
    out.append(" <");
    out.append(poster);
    out += '@';
    out.append(domain);
    out += '>';
}

void SyntheticGroup::appendMessageId(std::string &out, const Post &p) const {
    out.append("<part");
    appendNumber(out, std::uint64_t(p.part));
    out.append("of");
    appendNumber(out, std::uint64_t(options_.partsPerSong));
    out += '.';
    appendNumber(out, p.number);
    out += '.';
    appendHex8(out, std::uint32_t(mix(p.hash ^ std::uint64_t(p.part))));
    out += '@';
    out.append(name_);
    out += '>';
}

std::uint64_t SyntheticGroup::bodyLines(const Post &p) const {
    if (p.yenc) {
        const std::shared_ptr<const std::string> body = yencBody(p);
        std::uint64_t lines = 0;
        for (std::size_t at = body->find("\r\n"); at != std::string::npos; at = body->find("\r\n", at + 2)) ++lines;
        return lines;
    }
    std::uint64_t lines = std::uint64_t(options_.linesPerPart);
    if (p.part == 1) ++lines;                                                            // begin line
    if (p.part == options_.partsPerSong) lines += (options_.tailBytes > 0 ? 1 : 0) + 2;  // tail, "`", "end"
    return lines;
}

std::uint64_t SyntheticGroup::bodyBytes(const Post &p, std::size_t fileNameLength) const {
    if (p.yenc) return yencBody(p)->size();
    std::uint64_t bytes = std::uint64_t(options_.linesPerPart) * uuLineLength(45);
    if (p.part == 1) bytes += 10 + fileNameLength + 2;  // "begin 644 ", the file name, CR LF
    if (p.part == options_.partsPerSong) {
        if (options_.tailBytes > 0) bytes += uuLineLength(options_.tailBytes);
        bytes += 3 + 5;  // "`" and "end", each with CR LF
    }
    return bytes;
}

void SyntheticGroup::appendOverviewLine(std::uint64_t number, std::string &out) const {
    const Post p = post(number);
    appendNumber(out, number);
    out += '\t';
    std::size_t mark = out.size();
    const std::size_t fileNameLength = appendSubject(out, p);
    const std::size_t subjectLength = out.size() - mark;
    out += '\t';
    mark = out.size();
    appendFrom(out, p);
    const std::size_t fromLength = out.size() - mark;
    out += '\t';
    mark = out.size();
    appendArticleDate(out, options_.firstPostTime + std::int64_t(p.offset) * kPostInterval);
    const std::size_t dateLength = out.size() - mark;
    out += '\t';
    mark = out.size();
    appendMessageId(out, p);
    const std::size_t idLength = out.size() - mark;
    out.append("\t\t");
    const std::uint64_t lines = bodyLines(p);
    const std::uint64_t headerBytes = 6 + xrefHost_.size() + 15 + 6 + fromLength + 2 + 12 + name_.size() + 2 + 9 +
                                      subjectLength + 2 + 6 + dateLength + 2 + 12 + idLength + 2 + 7 +
                                      digitCount(lines) + 2;
    appendNumber(out, headerBytes + 2 + bodyBytes(p, fileNameLength));
    out += '\t';
    appendNumber(out, lines);
    out.append("\tXref: ");
    out.append(xrefHost_);
    out += ' ';
    out.append(name_);
    out += ':';
    appendNumber(out, number);
    out.append("\r\n");
}

std::string SyntheticGroup::article(std::uint64_t number, ArticleLayout &layout) const {
    const Post p = post(number);
    std::string text;
    text.reserve(std::size_t(options_.linesPerPart) * 63 + 1024);
    text.append("Path: ").append(xrefHost_).append("!not-for-mail\r\n");
    text.append("From: ");
    appendFrom(text, p);
    text.append("\r\nNewsgroups: ").append(name_);
    text.append("\r\nSubject: ");
    appendSubject(text, p);
    text.append("\r\nDate: ");
    appendArticleDate(text, options_.firstPostTime + std::int64_t(p.offset) * kPostInterval);
    text.append("\r\nMessage-ID: ");
    appendMessageId(text, p);
    text.append("\r\nLines: ");
    appendNumber(text, bodyLines(p));
    text.append("\r\n");
    layout.headerLength = text.size();
    text.append("\r\n");
    layout.bodyOffset = text.size();
    appendBody(text, p);
    return text;
}

void SyntheticGroup::appendBody(std::string &out, const Post &p) const {
    if (p.yenc) {
        out.append(*yencBody(p));
        return;
    }
    const std::uint64_t linesPerPart = std::uint64_t(options_.linesPerPart);
    if (p.part == 1) {
        out.append("begin 644 ");
        appendFileName(out, p);
        out.append("\r\n");
    }
    const std::uint64_t firstLine = std::uint64_t(p.part - 1) * linesPerPart;
    for (std::uint64_t line = firstLine; line < firstLine + linesPerPart; ++line) {
        appendPayloadLine(out, p.song, line, 45);
    }
    if (p.part == options_.partsPerSong) {
        if (options_.tailBytes > 0) {
            appendPayloadLine(out, p.song, std::uint64_t(options_.partsPerSong) * linesPerPart, options_.tailBytes);
        }
        out.append("`\r\nend\r\n");
    }
}

void SyntheticGroup::payloadBytes(std::uint64_t song, std::uint64_t line, int bytes, unsigned char *data) const {
    std::uint64_t state = mix(key_ ^ mix(song + 1) ^ (line * kGolden));
    for (int i = 0; i < bytes; i += 8) {
        state = mix(state);
        for (int j = 0; j < 8 && i + j < bytes; ++j) data[i + j] = static_cast<unsigned char>(state >> (8 * j));
    }
}

std::string SyntheticGroup::partPayload(std::uint64_t song, int part) const {
    const std::uint64_t linesPerPart = std::uint64_t(options_.linesPerPart);
    std::string bytes;
    bytes.reserve(std::size_t(linesPerPart) * 45 + 45);
    unsigned char data[48];
    const std::uint64_t firstLine = std::uint64_t(part - 1) * linesPerPart;
    for (std::uint64_t line = firstLine; line < firstLine + linesPerPart; ++line) {
        payloadBytes(song, line, 45, data);
        bytes.append(reinterpret_cast<const char *>(data), 45);
    }
    if (part == options_.partsPerSong && options_.tailBytes > 0) {
        payloadBytes(song, std::uint64_t(options_.partsPerSong) * linesPerPart, options_.tailBytes, data);
        bytes.append(reinterpret_cast<const char *>(data), std::size_t(options_.tailBytes));
    }
    return bytes;
}

std::shared_ptr<const std::string> SyntheticGroup::yencBody(const Post &p) const {
    // Enough for the songs of a test or benchmark several times over.
    constexpr std::size_t kKeptBytes = 256 << 20;
    const PartKey key{p.song, p.part};
    {
        std::lock_guard lock(yencMutex_);
        const auto found = yencBodies_.find(key);
        if (found != yencBodies_.end()) return found->second;
    }
    auto body = std::make_shared<const std::string>(makeYencBody(p));
    std::lock_guard lock(yencMutex_);
    const auto [kept, added] = yencBodies_.emplace(key, body);
    if (!added) return kept->second;
    yencOrder_.push_back(key);
    yencBytes_ += body->size();
    while (yencBytes_ > kKeptBytes && yencOrder_.size() > 1) {
        const auto oldest = yencBodies_.find(yencOrder_.front());
        yencBytes_ -= oldest->second->size();
        yencBodies_.erase(oldest);
        yencOrder_.pop_front();
    }
    return body;
}

// A yEnc part of the same payload the uuencoded lines carry: part k holds the bytes of its lines.
std::string SyntheticGroup::makeYencBody(const Post &p) const {
    std::string name;
    appendFileName(name, p);
    const std::size_t partBytes = std::size_t(options_.linesPerPart) * 45;
    const std::size_t fileSize = partBytes * std::size_t(options_.partsPerSong) + std::size_t(options_.tailBytes);
    const std::string bytes = partPayload(p.song, p.part);
    if (options_.partsPerSong == 1) return harbeat::yenc::encodeSinglePart(bytes, name);
    const std::uint32_t fileCrc = p.part == options_.partsPerSong ? harbeat::yenc::crc32Of(songFile(p.song)) : 0;
    return harbeat::yenc::encodePartAt(bytes, name, p.part, options_.partsPerSong, std::size_t(p.part - 1) * partBytes,
                                       fileSize, fileCrc);
}

void SyntheticGroup::appendPayloadLine(std::string &out, std::uint64_t song, std::uint64_t line, int bytes) const {
    unsigned char data[48] = {};
    payloadBytes(song, line, bytes, data);
    out += uuChar(unsigned(bytes));
    for (int i = 0; i < bytes; i += 3) {
        const unsigned group = unsigned(data[i]) << 16 | unsigned(data[i + 1]) << 8 | unsigned(data[i + 2]);
        out += uuChar(group >> 18 & 63);
        out += uuChar(group >> 12 & 63);
        out += uuChar(group >> 6 & 63);
        out += uuChar(group & 63);
    }
    out.append("\r\n");
}

std::string SyntheticGroup::messageId(std::uint64_t number) const {
    std::string id;
    appendMessageId(id, post(number));
    return id;
}

std::optional<std::uint64_t> SyntheticGroup::numberOfMessageId(std::string_view messageId) const {
    // "<partKofM.NUMBER.HASH@group>"
    const std::size_t dot = messageId.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const std::size_t secondDot = messageId.find('.', dot + 1);
    if (secondDot == std::string_view::npos) return std::nullopt;
    std::uint64_t number = 0;
    const char *begin = messageId.data() + dot + 1;
    const char *end = messageId.data() + secondDot;
    const auto result = std::from_chars(begin, end, number);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    if (number < first_ || number - first_ >= count_ || this->messageId(number) != messageId) return std::nullopt;
    if (!isPresent(number)) return std::nullopt;
    return number;
}

std::string SyntheticGroup::songFile(std::uint64_t song) const {
    const std::uint64_t lines = std::uint64_t(options_.partsPerSong) * std::uint64_t(options_.linesPerPart);
    std::string encoded;
    encoded.reserve(std::size_t(lines + 1) * 63);
    for (std::uint64_t line = 0; line < lines; ++line) appendPayloadLine(encoded, song, line, 45);
    if (options_.tailBytes > 0) appendPayloadLine(encoded, song, lines, options_.tailBytes);
    // Decode what was encoded: the generator is the single source of the payload bytes.
    std::string file;
    file.reserve(std::size_t(lines) * 45 + 45);
    std::size_t position = 0;
    while (position < encoded.size()) {
        const std::size_t end = encoded.find("\r\n", position);
        const unsigned length = unsigned(encoded[position] - 32) & 63;
        for (unsigned i = 0; i < length; i += 3) {
            const char *c = encoded.data() + position + 1 + i / 3 * 4;
            const unsigned group = (unsigned(c[0] - 32) & 63) << 18 | (unsigned(c[1] - 32) & 63) << 12 |
                                   (unsigned(c[2] - 32) & 63) << 6 | (unsigned(c[3] - 32) & 63);
            const char bytes[3] = {char(group >> 16), char(group >> 8), char(group)};
            file.append(bytes, std::min<unsigned>(3, length - i));
        }
        position = end + 2;
    }
    return file;
}

}  // namespace harbeat::newsd
