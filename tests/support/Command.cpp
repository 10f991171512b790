#include "tests/support/Command.h"

#include <glib.h>

namespace test_support {

CommandResult RunCommand(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);

    gchar* out = nullptr;
    gchar* err = nullptr;
    gint status = 0;
    GError* error = nullptr;
    CommandResult result;
    if (!g_spawn_sync(nullptr, args.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, &out, &err,
                      &status, &error)) {
        result.err = error->message;
        g_error_free(error);
        return result;
    }
    result.out = out ? out : "";
    result.err = err ? err : "";
    g_free(out);
    g_free(err);
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

}  // namespace test_support
