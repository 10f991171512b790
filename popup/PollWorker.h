#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

// The background thread that keeps the item store current: one poll, then a pause that starts when the
// poll has ended, over and over until stopped. A stop ends the pause at once and is passed to the poll,
// which aborts a transfer in progress. Stop it before the store it writes to is closed.
class PollWorker {
  public:
    using PollFunction = std::function<void(std::stop_token)>;

    explicit PollWorker(PollFunction pollOnce,
                        std::chrono::milliseconds pause = std::chrono::milliseconds(5000));
    ~PollWorker();
    PollWorker(const PollWorker&) = delete;
    PollWorker& operator=(const PollWorker&) = delete;

    // Starts the thread; the first poll begins at once. Later calls do nothing. When no thread can be
    // made there is no polling, and nothing else happens.
    void Start();
    // Requests the stop and waits for the thread. Safe to call more than once, and before Start.
    void Stop();

  private:
    void PollThreadProc(std::stop_token stop);

    PollFunction m_pollOnce;
    std::chrono::milliseconds m_pause;
    std::mutex m_mutex;      // for the pause only
    std::mutex m_stopMutex;  // Stop from two threads joins once
    std::condition_variable_any m_wake;
    std::once_flag m_started;
    std::jthread m_thread;
};
