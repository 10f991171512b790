#pragma once

#include <memory>
#include <string>

#include <gio/gio.h>

// The bundle key of the popup page, whose home link is written in at run time.
inline constexpr const char* kPopupPageKey = "/notifier/res/23/popup.html";

// The home link the build was configured with (NOTIFIER_HOME_URL), checked by the configure step.
const char* BuildHomeUrl();

// The popup page of the bundle with `homeUrl`, which passed platform::WebUrlProblem, in its home link,
// escaped for the attribute.
std::shared_ptr<GBytes> PopupPage(const std::string& homeUrl);
