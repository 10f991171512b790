// Arbitrary bytes through the feed parser into a real store, then a listing of what was stored.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "feed/FeedParser.h"
#include "store/ItemStore.h"

namespace {

ItemStore* g_store = nullptr;
int g_inputs = 0;
std::string g_dir;

void RemoveStoreDir() {
    delete g_store;
    g_store = nullptr;
    std::remove((g_dir + "/rcd").c_str());
    std::remove((g_dir + "/rcd-journal").c_str());
    rmdir((g_dir + "/Image").c_str());
    rmdir(g_dir.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // tmpfs when there is one: every stored item is a commit, and fsync would dominate.
    char pattern[] = "/dev/shm/feed-fuzz-XXXXXX";
    if (access("/dev/shm", W_OK) != 0) std::snprintf(pattern, sizeof pattern, "%s", "/tmp/feed-fuzz-XXXXXX");
    const char* dir = mkdtemp(pattern);
    if (!dir) std::abort();
    g_dir = dir;
    g_store = new ItemStore(g_dir + "/");
    std::atexit(RemoveStoreDir);
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
