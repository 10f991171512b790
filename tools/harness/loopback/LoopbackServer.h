#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace httplib {
class Server;
}

namespace harness {

// An httplib server on 127.0.0.1, on the given port or one of the system's choosing, answering on a
// thread of its own from Listen() until Stop() or the object's end. Routes are added before Listen().
class LoopbackServer {
  public:
    explicit LoopbackServer(uint16_t port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    httplib::Server& Http() { return *m_server; }
    // Throws std::runtime_error when the port cannot be bound.
    void Listen();
    // Releases handlers waiting in WaitForStop, then ends the server.
    void Stop();

    uint16_t Port() const { return m_port; }
    std::string Url(const std::string& path = "/") const;

    // For handlers that hold their answer: waits until Stop() or `limit`; true when stopping.
    bool WaitForStop(std::chrono::milliseconds limit);

  private:
    std::unique_ptr<httplib::Server> m_server;
    uint16_t m_port;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_stopping;
    bool m_bStopping = false;
};

}  // namespace harness
