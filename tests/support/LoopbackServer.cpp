#include "tests/support/LoopbackServer.h"

#include <stdexcept>

#include <httplib.h>

namespace test_support {

LoopbackServer::LoopbackServer(uint16_t port) : m_server(std::make_unique<httplib::Server>()), m_port(port) {}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Listen() {
    if (m_port == 0) {
        const int port = m_server->bind_to_any_port("127.0.0.1");
        if (port <= 0) throw std::runtime_error("cannot bind a loopback port");
        m_port = static_cast<uint16_t>(port);
    } else if (!m_server->bind_to_port("127.0.0.1", m_port)) {
        throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(m_port));
    }
    m_thread = std::thread([this] { m_server->listen_after_bind(); });
    while (!m_server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_stopping.notify_all();
    if (m_thread.joinable()) {
        m_server->stop();
        m_thread.join();
    }
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

bool LoopbackServer::WaitForStop(std::chrono::milliseconds limit) {
    std::unique_lock lock(m_mutex);
    return m_stopping.wait_for(lock, limit, [this] { return m_bStopping; });
}

}  // namespace test_support
