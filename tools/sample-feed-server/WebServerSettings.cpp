#include "WebServerSettings.h"

#include <sys/socket.h>

#include <httplib.h>

namespace {

constexpr time_t kKeepAliveSeconds = 10;
constexpr size_t kKeepAliveRequests = 1000;
constexpr size_t kThreads = 16;

// httplib's default also sets SO_REUSEPORT, with which a second server binds a port that is taken and
// the kernel shares the connections out between the two. Only SO_REUSEADDR, so that a port just closed
// can be bound again at once.
void ExclusivePort(socket_t socket) {
    int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace

void ServeLikeAWebServer(httplib::Server& server) {
    server.set_socket_options(ExclusivePort);
    // Web servers commonly keep an idle connection for a minute; httplib's 5 s ran out right at the next
    // poll. Each kept connection holds a thread: a browser opens six.
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_keep_alive_max_count(kKeepAliveRequests);
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
}
