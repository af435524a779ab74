// Overview cache files as a hostile disk or another program might leave them: decoding never
// crashes, and whatever decodes writes back to a file that decodes to the same articles.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "songs/overview_cache_format.h"

namespace {

void checkFile(std::string_view bytes) {
    corvane::OverviewCacheHeader header;
    std::vector<corvane::CachedArticle> articles;
    if (!corvane::decodeOverviewCache(bytes, header, articles)) return;

    std::string again;
    if (!corvane::encodeOverviewCache(header, articles, again)) std::abort();
    corvane::OverviewCacheHeader header2;
    std::vector<corvane::CachedArticle> articles2;
    if (!corvane::decodeOverviewCache(again, header2, articles2)) std::abort();
    if (!(header2.key == header.key) || header2.first != header.first || header2.last != header.last ||
        articles2.size() != articles.size())
        std::abort();
    for (std::size_t i = 0; i < articles.size(); ++i) {
        const corvane::CachedArticle &a = articles[i];
        const corvane::CachedArticle &b = articles2[i];
        if (a.number != b.number || a.baseName != b.baseName || a.messageId != b.messageId || a.date != b.date ||
            a.partIndex != b.partIndex || a.partCount != b.partCount)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    corvane::OverviewCacheHeader peeked;
    corvane::decodeOverviewCacheHeader(bytes, peeked);
    checkFile(bytes);

    // The same bytes with a correct checksum in place of their last eight, so that mutations
    // reach the records instead of stopping at the checksum.
    if (size < 8) return 0;
    std::string sealed(bytes.substr(0, size - 8));
    corvane::CacheChecksum checksum;
    checksum.update(sealed);
    const uint64_t value = checksum.value();
    for (int i = 0; i < 8; ++i) sealed.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    checkFile(sealed);
    return 0;
}
