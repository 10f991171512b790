#include "popup/PollWorker.h"

#include <string>
#include <system_error>
#include <utility>

#include "platform/DebugLog.h"

PollWorker::PollWorker(PollFunction pollOnce, std::chrono::milliseconds pause)
    : m_pollOnce(std::move(pollOnce)), m_pause(pause) {}

PollWorker::~PollWorker() { Stop(); }

void PollWorker::Start() {
    std::call_once(m_started, [this] {
        try {
            m_thread = std::jthread([this](std::stop_token stop) { PollThreadProc(stop); });
        } catch (const std::system_error& error) {
            // Without a thread there is no polling; the popup goes on showing what the store holds.
            platform::DebugLog("popup", std::string("poll worker not started: ") + error.what());
        }
    });
}

void PollWorker::Stop() {
    // Runs Start's once-flag so that a Start racing with or following Stop cannot launch a thread.
    std::lock_guard guard(m_stopMutex);
    std::call_once(m_started, [] {});
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
}

void PollWorker::PollThreadProc(std::stop_token stop) {
    while (!stop.stop_requested()) {
        m_pollOnce(stop);
        std::unique_lock lock(m_mutex);
        // Returns early, with the predicate true, when a stop is requested.
        m_wake.wait_for(lock, stop, m_pause, [] { return false; });
    }
}
