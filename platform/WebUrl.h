#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Why `url` is not a link the notifier may poll or put into its page, or nothing when it is one: it
// must be an absolute http or https URL with a host that GLib parses, and hold none of the characters
// a URL never carries raw (white space, controls, " < > \ ^ ` { | }). The configure step's check of
// the build-time links (res/HomeUrl.cmake) applies the same rules.
std::optional<std::string> WebUrlProblem(std::string_view url);

// `url`, which passed WebUrlProblem, as the text of a quoted HTML attribute: '&' and '\'' escaped.
std::string WebUrlAttribute(std::string_view url);

}  // namespace platform
