#pragma once

#include <string>

namespace platform {

// The character set that stands for the thread's "ANSI code page": the locale's codeset
// (nl_langinfo(CODESET) after setlocale(LC_ALL, "")), e.g. "UTF-8" or "GBK". Read on every call.
std::string AnsiCodeset();

}  // namespace platform
