#pragma once

#include <cstdint>

#include "platform/CMessageMap.h"
#include "platform/Messages.h"

namespace platform {

// Window handles, posted and sent messages, window timers and the message loop, on the GLib main
// context of the GUI thread. Every function but PostMessage must be called on the GUI thread.
//
// CreateWindow binds a new handle to `object`, then sends WM_CREATE; when the handler answers -1 the
// window is destroyed again and null is returned. DestroyWindow sends WM_DESTROY, then destroys the
// children the same way, then removes the window's timers and withdraws the handle. Messages posted to a
// null or dead handle are lost.
// SetTimer replaces a timer of the same id; ticks arrive as WM_TIMER with the id as wParam.
// DefWindowProc: WM_CLOSE destroys the window; everything else answers 0.
HWND CreateWindow(CMessageMap* object, HWND parent = nullptr);
bool DestroyWindow(HWND hWnd);
bool IsWindow(HWND hWnd);
HWND GetParent(HWND hWnd);
bool PostMessage(HWND hWnd, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
LRESULT SendMessage(HWND hWnd, UINT uMsg, WPARAM wParam = 0, LPARAM lParam = 0);
LRESULT DefWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
bool SetTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs);
bool KillTimer(HWND hWnd, uintptr_t id);
void PostQuitMessage(int exitCode);
// Runs the loop until PostQuitMessage; returns its exit code.
int RunMessageLoop();

// The toolkit widget that stands for a window (a GtkContainer for the popup), so that child windows
// can place their own widgets inside it. Null when none was set; cleared when the window is destroyed.
void SetNativeWidget(HWND hWnd, void* widget);
void* GetNativeWidget(HWND hWnd);

}  // namespace platform
