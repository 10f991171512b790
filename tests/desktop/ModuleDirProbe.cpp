// Opens the item store where the notifier would and tells where that was: the module folder on the
// first line, "ready" or "not ready" on the second.
#include <cstdio>

#include "app/ModuleDirectory.h"
#include "store/ItemStore.h"

int main() {
    ItemStore store(app::ModuleDirectory());
    std::printf("%s\n%s\n", store.ModuleDir().c_str(), store.IsReady() ? "ready" : "not ready");
    return 0;
}
