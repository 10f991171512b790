#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace harness {

struct ExitStatus {
    bool exited = false;  // false: ended by a signal
    int code = 0;         // exit code, or the signal number
    bool operator==(const ExitStatus&) const = default;
};
std::ostream& operator<<(std::ostream& os, const ExitStatus& s);

// How a child starts. Its standard input is /dev/null unless piped.
struct ChildOptions {
    std::optional<std::vector<std::string>> environment;  // the test's own unless given
    std::filesystem::path log;                            // stdout and stderr go here unless empty
    bool appendLog = true;                                // else the log is emptied first
    std::filesystem::path errLog;                         // stderr alone goes here unless empty
    bool pipeStdio = false;                               // stdin and stdout are pipes the test holds
    bool ownGroup = false;  // a process group of its own, signalled and ended as a whole
};

// The one way the tests start another program (looked up on PATH). The destructor ends a child that
// still runs (its group: SIGTERM, then SIGKILL after 10 s; a single process: SIGKILL) and reaps it.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& argv, ChildOptions options = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }
    bool IsRunning();
    // The exit once it came within `timeout`.
    std::optional<ExitStatus> WaitExit(std::chrono::milliseconds timeout);
    // Waits for the exit however long it takes.
    ExitStatus Wait();
    void Signal(int signal) const;

    // With pipeStdio: the ends the test writes to and reads from; CloseStdin gives the child its EOF.
    int Stdin() const { return m_stdin; }
    int Stdout() const { return m_stdout; }
    void CloseStdin();

  private:
    void End();
    bool Gone();

    pid_t m_pid = -1;
    bool m_bOwnGroup = false;
    int m_stdin = -1;
    int m_stdout = -1;
    std::optional<ExitStatus> m_exit;
};

}  // namespace harness
