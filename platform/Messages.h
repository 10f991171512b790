#pragma once

#include <cstdint>

// The message vocabulary of our windows: opaque handles, the message-map signature's types and the
// standard message numbers the program uses.
namespace platform {

struct WindowTag;
using HWND = WindowTag*;
using UINT = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr UINT WM_CREATE = 1;
constexpr UINT WM_DESTROY = 2;
constexpr UINT WM_ACTIVATE = 6;
constexpr UINT WM_KILLFOCUS = 8;
constexpr UINT WM_PAINT = 15;
constexpr UINT WM_CLOSE = 16;
constexpr UINT WM_ERASEBKGND = 20;
constexpr UINT WM_SHOWWINDOW = 24;
constexpr UINT WM_WINDOWPOSCHANGED = 71;
constexpr UINT WM_TIMER = 275;
constexpr UINT WM_USER = 1024;

}  // namespace platform
