#include "tools/harness/desktop/AppProcess.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/harness/TempDir.h"

extern char** environ;

namespace harness {
namespace fs = std::filesystem;

namespace {

pid_t ParentOf(const fs::path& statFile) {
    std::ifstream in(statFile);
    std::string line;
    std::getline(in, line);
    // pid (comm) state ppid ...: comm may hold blanks, so start after the last ')'.
    const auto close = line.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream rest(line.substr(close + 1));
    std::string state;
    pid_t ppid = -1;
    rest >> state >> ppid;
    return ppid;
}

}  // namespace

AppProcess::AppProcess(const fs::path& executable, const fs::path& runDir) : m_runDir(runDir) {
    fs::remove_all(m_runDir);
    fs::create_directories(m_runDir);
    m_executable = m_runDir / executable.filename();
    fs::copy_file(executable, m_executable, fs::copy_options::overwrite_existing);
    WriteUrlHandler();
}

AppProcess::~AppProcess() = default;

void AppProcess::WriteUrlHandler() const {
    const fs::path recorder = m_runDir / "record-url";
    WriteFile(recorder,
              "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + (m_runDir / "opened-urls.txt").string() + "'\n");
    fs::permissions(recorder, fs::perms::owner_all, fs::perm_options::replace);

    const std::string types =
        "x-scheme-handler/http;x-scheme-handler/https;x-scheme-handler/ftp;x-scheme-handler/file;text/plain;";
    WriteFile(m_runDir / "xdg-data/applications/e2e-url-recorder.desktop",
              "[Desktop Entry]\nType=Application\nName=URL recorder\nNoDisplay=true\nExec=\"" +
                  recorder.string() + "\" %u\nMimeType=" + types + "\n");
    std::string defaults = "[Default Applications]\n";
    std::istringstream list(types);
    for (std::string type; std::getline(list, type, ';');) {
        defaults += type + "=e2e-url-recorder.desktop\n";
    }
    WriteFile(m_runDir / "xdg-config/mimeapps.list", defaults);
}

std::vector<std::string> AppProcess::Environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "NO_AT_BRIDGE" || name == "XDG_DATA_HOME" || name == "XDG_CONFIG_HOME" ||
            name == "LANG" || name == "LC_ALL" || name == "NOTIFIER_DEBUG") {
            continue;
        }
        env.push_back(entry);
    }
    env.push_back("XDG_DATA_HOME=" + (m_runDir / "xdg-data").string());
    env.push_back("XDG_CONFIG_HOME=" + (m_runDir / "xdg-config").string());
    env.push_back("LANG=" + m_locale);
    env.push_back("LC_ALL=" + m_locale);
    if (m_bDebugLog) {
        env.push_back("NOTIFIER_DEBUG=1");
    }
    return env;
}

void AppProcess::Start(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{m_executable.string()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildOptions options;
    options.environment = Environment();
    options.log = m_runDir / "notifier.log";
    m_child = std::make_unique<ChildProcess>(argv, options);
    if (!m_child->Started()) throw std::runtime_error("cannot start " + m_executable.string());
    m_startedAt = Clock::now();
}

bool AppProcess::IsRunning() { return m_child && m_child->IsRunning(); }

std::optional<ExitStatus> AppProcess::WaitExit(std::chrono::milliseconds timeout) {
    return m_child ? m_child->WaitExit(timeout) : std::nullopt;
}

void AppProcess::Signal(int signal) const {
    if (m_child) m_child->Signal(signal);
}

std::vector<std::string> AppProcess::OpenedUrls() const {
    std::vector<std::string> urls;
    std::ifstream in(m_runDir / "opened-urls.txt");
    for (std::string line; std::getline(in, line);) {
        urls.push_back(line);
    }
    return urls;
}

std::string AppProcess::LogTail(std::size_t bytes) const {
    const std::string text = ReadFile(m_runDir / "notifier.log");
    return text.size() > bytes ? text.substr(text.size() - bytes) : text;
}

std::vector<std::pair<pid_t, std::string>> AppProcess::Children() const {
    std::vector<std::pair<pid_t, std::string>> found;
    std::vector<pid_t> parents{Pid()};
    // Two generations: a sandbox launcher may stand between the notifier and its helpers.
    for (int generation = 0; generation < 2; ++generation) {
        std::vector<pid_t> next;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            const pid_t ppid = ParentOf(entry.path() / "stat");
            for (pid_t parent : parents) {
                if (ppid == parent) {
                    std::string comm;
                    std::getline(std::ifstream(entry.path() / "comm"), comm);
                    const pid_t pid = std::stoi(name);
                    found.emplace_back(pid, comm);
                    next.push_back(pid);
                }
            }
        }
        parents = std::move(next);
    }
    return found;
}

std::optional<pid_t> AppProcess::ChildNamed(const std::string& prefix) const {
    for (const auto& [pid, comm] : Children()) {
        if (comm.rfind(prefix, 0) == 0) {
            return pid;
        }
    }
    return std::nullopt;
}

}  // namespace harness
