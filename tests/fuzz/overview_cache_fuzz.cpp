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
    corvane::peekOverviewCache(bytes, peeked);
    checkFile(bytes);
    // The walk that runs on files already checked must not fail badly on any bytes either: it
    // is what mutations reach past the checksums.
    uint64_t visited = 0;
    corvane::visitCheckedOverviewCache(bytes, [&visited](const corvane::CachedArticle &) { ++visited; });
    return 0;
}
