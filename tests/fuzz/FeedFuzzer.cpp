// Arbitrary bytes through the feed parser into a real store, then a listing of what was stored.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "feed/FeedParser.h"
#include "store/ItemStore.h"
#include "tools/harness/TempDir.h"

namespace {

// Memory-backed: every stored item is a commit, and syncs would dominate. libFuzzer ends with exit(),
// so both go at exit, the store first.
harness::TempDir* g_dir = nullptr;
ItemStore* g_store = nullptr;
int g_inputs = 0;

void RemoveStore() {
    delete g_store;
    delete g_dir;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_dir = new harness::TempDir(harness::TempDir::Backing::Memory);
    g_store = new ItemStore(g_dir->ModuleDir());
    std::atexit(RemoveStore);
    if (!g_store->IsReady()) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParseFeedDocument(std::string(reinterpret_cast<const char*>(data), size), *g_store);
    const auto items = g_store->ListItems();
    if (!items) std::abort();  // the store never fails on its own file
    // Keep the table small so that every input runs against a similar store.
    if (++g_inputs % 64 == 0) g_store->RemoveAllItems();
    return 0;
}
