#pragma once

#include <cstdint>

#include "platform/Messages.h"

// The messages the page's sinks send to the popup, and its timers.
constexpr platform::UINT WM_POPUP_DOCUMENT_COMPLETE = platform::WM_USER + 500;  // 1524
constexpr platform::UINT WM_POPUP_FOCUS_LOST = platform::WM_USER + 502;         // 1526
constexpr platform::UINT WM_MARK_ALL_READ = platform::WM_USER + 1000;           // 2024
constexpr platform::UINT WM_REMOVE_ALL = platform::WM_USER + 1001;              // 2025
constexpr platform::UINT WM_BROWSER_ACTIVITY = platform::WM_USER + 1002;        // 2026
constexpr platform::UINT WM_CLOSE_POPUP = platform::WM_USER + 1003;             // 2027

constexpr uintptr_t TIMER_REFRESH = 0x1001;
constexpr uintptr_t TIMER_START_POLLING = 0x1002;
