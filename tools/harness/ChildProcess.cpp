#include "tools/harness/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace harness {
namespace {

std::optional<ExitStatus> Decode(int status) {
    if (WIFEXITED(status)) return ExitStatus{true, WEXITSTATUS(status)};
    if (WIFSIGNALED(status)) return ExitStatus{false, WTERMSIG(status)};
    return std::nullopt;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// posix_spawn's settings, released with it.
struct SpawnSettings {
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSettings() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

std::ostream& operator<<(std::ostream& os, const ExitStatus& s) {
    return os << (s.exited ? "exit code " : "signal ") << s.code;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, ChildOptions options)
    : m_bOwnGroup(options.ownGroup) {
    SpawnSettings spawn;
    int toChild[2] = {-1, -1};
    int fromChild[2] = {-1, -1};
    if (options.pipeStdio && (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0)) return;
    if (options.pipeStdio) {
        posix_spawn_file_actions_adddup2(&spawn.actions, toChild[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&spawn.actions, fromChild[1], STDOUT_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&spawn.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    }
    if (!options.log.empty()) {
        const int mode = O_WRONLY | O_CREAT | (options.appendLog ? O_APPEND : O_TRUNC);
        posix_spawn_file_actions_addopen(&spawn.actions, STDOUT_FILENO, options.log.c_str(), mode, 0644);
        posix_spawn_file_actions_adddup2(&spawn.actions, STDOUT_FILENO, STDERR_FILENO);
    }
    if (!options.errLog.empty()) {
        posix_spawn_file_actions_addopen(&spawn.actions, STDERR_FILENO, options.errLog.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (options.ownGroup) {
        posix_spawnattr_setflags(&spawn.attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&spawn.attributes, 0);
    }
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> env = options.environment ? Pointers(*options.environment) : std::vector<char*>{};
    if (posix_spawnp(&m_pid, args[0], &spawn.actions, &spawn.attributes, args.data(),
                     options.environment ? env.data() : environ) != 0) {
        m_pid = -1;
    }
    if (!options.pipeStdio) return;
    close(toChild[0]);
    close(fromChild[1]);
    m_stdin = toChild[1];
    m_stdout = fromChild[0];
}

ChildProcess::~ChildProcess() {
    End();
    CloseStdin();
    if (m_stdout >= 0) close(m_stdout);
}

bool ChildProcess::IsRunning() {
    if (m_pid <= 0 || m_exit) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) m_exit = Decode(status);
    return !m_exit;
}

std::optional<ExitStatus> ChildProcess::WaitExit(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (IsRunning() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_exit;
}

ExitStatus ChildProcess::Wait() {
    int status = 0;
    if (m_pid > 0 && !m_exit && waitpid(m_pid, &status, 0) == m_pid) m_exit = Decode(status);
    return m_exit.value_or(ExitStatus{false, 0});
}

void ChildProcess::Signal(int signal) const {
    if (m_pid > 0 && !m_exit) kill(m_bOwnGroup ? -m_pid : m_pid, signal);
}

void ChildProcess::CloseStdin() {
    if (m_stdin >= 0) close(m_stdin);
    m_stdin = -1;
}

// A group is gone once its leader is reaped and no member is left.
bool ChildProcess::Gone() { return !IsRunning() && (!m_bOwnGroup || kill(-m_pid, 0) != 0); }

void ChildProcess::End() {
    if (m_pid <= 0 || Gone()) return;
    if (m_bOwnGroup) {
        kill(-m_pid, SIGTERM);
        for (int i = 0; i < 1000 && !Gone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!Gone()) kill(-m_pid, SIGKILL);
    } else {
        kill(m_pid, SIGKILL);
    }
    Wait();
}

}  // namespace harness
