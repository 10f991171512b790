#pragma once

namespace httplib {
class Server;
}

// What the sample server and the tests' loopback servers share with a common web server: the port held
// alone, and idle connections kept past the notifier's pause between polls.
void ServeLikeAWebServer(httplib::Server& server);
