#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace harness {

struct CommandResult {
    int exitCode = -1;  // -1 when it could not run or was killed
    std::string out;
    std::string err;
};

// Runs a program (looked up on PATH) to completion and collects its output.
CommandResult RunCommand(const std::vector<std::string>& argv);

// Polls `condition` every `step` until it holds or `timeout` has passed; true when it held.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout,
             std::chrono::milliseconds step = std::chrono::milliseconds(100));

}  // namespace harness

#include <thread>

namespace harness {

template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout, std::chrono::milliseconds step) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(step);
    }
}

}  // namespace harness
