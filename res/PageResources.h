#pragma once

#include <gio/gio.h>

// The popup page and its files, compiled into the executable. Paths are kPageResourcePrefix followed by
// the lower-case "/type/name" the page uses, for example "/notifier/res/png/134" or
// "/notifier/res/23/popup.html".
inline constexpr const char* kPageResourcePrefix = "/notifier/res";

// The bundle; owned by the process, never null, valid until exit. Also registered globally on first use
// so that g_resources_lookup_data finds the same paths.
GResource* PageResources();
