// Feed bytes through the markup guard and the parser into records, no store. The guarded parse must
// survive any text; where the guard's own limits did not cut, handing the parser the whole text instead
// must give the same records, so the guard reads the markup exactly as the parser does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "feed/FeedParser.h"
#include "feed/MarkupGuard.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<FeedItem> guarded = CollectFeedItems(text);
    const MarkupGuard::Reading reading = MarkupGuard().Read(text);
    if (reading.overLimit) return 0;
    const std::vector<FeedItem> whole = CollectFeedItems(text, false);
    if (whole != guarded) {
        std::fprintf(stderr, "guard cut at %zu of %zu bytes: %zu records, whole text %zu\n", reading.length,
                     size, guarded.size(), whole.size());
        std::abort();
    }
    return 0;
}
