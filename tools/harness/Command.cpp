#include "tools/harness/Command.h"

#include <unistd.h>

#include <glib.h>

#include "tools/harness/ChildProcess.h"
#include "tools/harness/TempDir.h"

namespace harness {

CommandResult RunCommand(const std::vector<std::string>& argv) {
    // The error output waits in a file, so that neither stream can fill its pipe while the other is read.
    const TempDir dir;
    const std::filesystem::path errors = dir.Path() / "stderr";
    ChildOptions options;
    options.errLog = errors;
    options.pipeStdio = true;
    ChildProcess child(argv, options);
    CommandResult result;
    if (!child.Started()) {
        result.err = "cannot start " + argv.front();
        return result;
    }
    child.CloseStdin();
    char buffer[4096];
    for (ssize_t n; (n = read(child.Stdout(), buffer, sizeof buffer)) > 0;) result.out.append(buffer, n);
    const ExitStatus status = child.Wait();
    result.err = ReadFile(errors);
    if (status.exited) result.exitCode = status.code;
    return result;
}

}  // namespace harness
