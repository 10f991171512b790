#include "tools/harness/desktop/PageProbe.h"

#include <cstdio>
#include <sstream>

#include "tools/harness/Command.h"

namespace harness {

std::optional<PageElement> PageProbe::ById(const std::string& id, Ms timeout,
                                           const std::optional<std::string>& expect) const {
    auto found = Run({"--id", id}, timeout, expect);
    if (found.empty()) {
        return std::nullopt;
    }
    return found.front();
}

std::vector<PageElement> PageProbe::ByRole(const std::string& role, const std::optional<std::string>& name,
                                           Ms timeout, const std::optional<std::string>& expect) const {
    std::vector<std::string> args{"--role", role, "--all"};
    if (name) {
        args.insert(args.end(), {"--name", *name});
    }
    return Run(std::move(args), timeout, expect);
}

std::vector<PageElement> PageProbe::Run(std::vector<std::string> args, Ms timeout,
                                        const std::optional<std::string>& expect) const {
    std::vector<std::string> argv{
        "/usr/bin/python3",    m_script.string(), "--pid",
        std::to_string(m_pid), "--timeout",       std::to_string(timeout.count() / 1000.0)};
    argv.insert(argv.end(), args.begin(), args.end());
    if (expect) {
        argv.insert(argv.end(), {"--expect", *expect});
    }
    const CommandResult result = RunCommand(argv);
    std::vector<PageElement> found;
    if (result.exitCode != 0) {
        return found;
    }
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        PageElement e;
        const auto tab = line.find('\t');
        if (tab == std::string::npos ||
            std::sscanf(line.c_str(), "%d %d %d %d", &e.x, &e.y, &e.width, &e.height) != 4) {
            continue;
        }
        e.text = line.substr(tab + 1);
        found.push_back(std::move(e));
    }
    return found;
}

}  // namespace harness
