// hostile_poll_once <feed url> <directory/>: one poll of the feed into the store in that directory. The fault
// tests kill it in the middle of storing. Exit code 3 when the store is not ready.
#include <clocale>
#include <cstdio>
#include <stop_token>

#include "feed/FeedPoller.h"
#include "store/ItemStore.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hostile_poll_once <feed url> <directory/>\n");
        return 2;
    }
    std::setlocale(LC_ALL, "");  // as the program starts: the locale decides the conversions
    ItemStore store(argv[2]);
    if (!store.IsReady()) return 3;
    FeedPoller(argv[1], store).PollOnce({});
    return 0;
}
