#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/harness/ChildProcess.h"

namespace harness {

// One run of a copy of the notifier in its own directory, so that `rcd` and `Image` appear there.
// The desktop's URL handler for http/https (and a few others, to catch what must never go out) is a
// script of the run directory that appends each URL it receives to a file.
class AppProcess {
  public:
    using Clock = std::chrono::steady_clock;

    // Copies `executable` into `runDir` (created, emptied first) and writes the handler files.
    AppProcess(const std::filesystem::path& executable, const std::filesystem::path& runDir);
    // Ends the process by its PID when it still runs.
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    void SetDebugLog(bool on) { m_bDebugLog = on; }
    // LANG and LC_ALL of the run; C.UTF-8 unless set.
    void SetLocale(std::string locale) { m_locale = std::move(locale); }
    // Starts the copy with `arguments` after its name.
    void Start(const std::vector<std::string>& arguments = {});
    pid_t Pid() const { return m_child ? m_child->Pid() : -1; }
    Clock::time_point StartedAt() const { return m_startedAt; }

    bool IsRunning();
    std::optional<ExitStatus> WaitExit(std::chrono::milliseconds timeout);
    void Signal(int signal) const;

    const std::filesystem::path& RunDir() const { return m_runDir; }
    std::filesystem::path RcdPath() const { return m_runDir / "rcd"; }
    std::vector<std::string> OpenedUrls() const;
    std::string LogTail(std::size_t bytes = 4000) const;

    // Helper processes started by the notifier (the web process among them), by command name.
    std::vector<std::pair<pid_t, std::string>> Children() const;
    std::optional<pid_t> ChildNamed(const std::string& prefix) const;

  private:
    void WriteUrlHandler() const;
    std::vector<std::string> Environment() const;

    std::filesystem::path m_runDir;
    std::filesystem::path m_executable;
    std::unique_ptr<ChildProcess> m_child;
    bool m_bDebugLog = true;
    std::string m_locale = "C.UTF-8";
    Clock::time_point m_startedAt;
};

}  // namespace harness
