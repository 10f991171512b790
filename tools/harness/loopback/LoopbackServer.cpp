#include "tools/harness/loopback/LoopbackServer.h"

#include <stdexcept>

#include <httplib.h>

#include "WebServerSettings.h"

namespace harness {

namespace {

// A fixed port that another process holds is waited for this long: runs of the end-to-end tests from two
// checkouts take turns, one test at a time.
constexpr auto kPortWait = std::chrono::seconds(90);

}  // namespace

LoopbackServer::LoopbackServer(uint16_t port) : m_server(std::make_unique<httplib::Server>()), m_port(port) {
    ServeLikeAWebServer(*m_server);
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Listen() {
    if (m_port == 0) {
        const int port = m_server->bind_to_any_port("127.0.0.1");
        if (port <= 0) throw std::runtime_error("cannot bind a loopback port");
        m_port = static_cast<uint16_t>(port);
    } else {
        const auto giveUp = std::chrono::steady_clock::now() + kPortWait;
        while (!m_server->bind_to_port("127.0.0.1", m_port)) {
            if (std::chrono::steady_clock::now() > giveUp)
                throw std::runtime_error("127.0.0.1:" + std::to_string(m_port) + " stays taken");
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
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

}  // namespace harness
