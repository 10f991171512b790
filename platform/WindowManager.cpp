#include "platform/WindowManager.h"

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <glib.h>

namespace platform {
namespace {

struct Window {
    CMessageMap* object = nullptr;
    HWND parent = nullptr;
    std::vector<HWND> children;
    std::map<uintptr_t, guint> timers;  // id -> GLib source id
    void* nativeWidget = nullptr;
    bool destroying = false;
};

struct PostedMessage {
    HWND hWnd;
    UINT uMsg;
    WPARAM wParam;
    LPARAM lParam;
};

struct TimerKey {
    HWND hWnd;
    uintptr_t id;
};

// Handles are never reused, so a stale handle stays dead even after later windows are created.
uintptr_t g_nextHandle = 0x1000;
// GUI thread only.
std::unordered_map<HWND, std::unique_ptr<Window>> g_windows;

// Shared with posting threads.
std::mutex g_queueMutex;
std::deque<PostedMessage> g_queue;
std::unordered_set<HWND> g_live;

GMainLoop* g_loop = nullptr;
bool g_quitPending = false;
int g_exitCode = 0;

Window* Find(HWND hWnd) {
    const auto it = g_windows.find(hWnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

bool IsLive(HWND hWnd) {
    std::lock_guard lock(g_queueMutex);
    return g_live.contains(hWnd);
}

bool QueueHasMessages() {
    std::lock_guard lock(g_queueMutex);
    return !g_queue.empty();
}

gboolean QueuePrepare(GSource*, gint* timeout) {
    *timeout = -1;
    return QueueHasMessages();
}

gboolean QueueCheck(GSource*) { return QueueHasMessages(); }

// Delivers the messages queued before this dispatch began; later posts wait for the next round so
// that a handler posting to itself cannot starve timers and other sources. Messages are taken one at a
// time so that a nested loop inside a handler goes on delivering them in order.
gboolean QueueDispatch(GSource*, GSourceFunc, gpointer) {
    size_t pending = 0;
    {
        std::lock_guard lock(g_queueMutex);
        pending = g_queue.size();
    }
    for (; pending > 0; --pending) {
        PostedMessage m{};
        {
            std::lock_guard lock(g_queueMutex);
            if (g_queue.empty()) break;
            m = g_queue.front();
            g_queue.pop_front();
        }
        if (IsLive(m.hWnd)) SendMessage(m.hWnd, m.uMsg, m.wParam, m.lParam);
    }
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_queueFuncs = {QueuePrepare, QueueCheck, QueueDispatch, nullptr, nullptr, nullptr};

void EnsureQueueSource() {
    static std::once_flag once;
    std::call_once(once, [] {
        GSource* source = g_source_new(&g_queueFuncs, sizeof(GSource));
        g_source_set_name(source, "posted window messages");
        g_source_set_can_recurse(source, TRUE);
        g_source_attach(source, nullptr);
        g_source_unref(source);  // the context keeps it for the life of the process
    });
}

gboolean TimerTick(gpointer data) {
    const auto* key = static_cast<const TimerKey*>(data);
    SendMessage(key->hWnd, WM_TIMER, key->id, 0);
    return G_SOURCE_CONTINUE;
}

void RemoveTimers(Window& window) {
    for (const auto& [id, source] : window.timers) g_source_remove(source);
    window.timers.clear();
}

}  // namespace

HWND CreateWindow(CMessageMap* object, HWND parent) {
    if (object == nullptr) return nullptr;
    Window* parentWindow = nullptr;
    if (parent != nullptr) {
        parentWindow = Find(parent);
        if (parentWindow == nullptr || parentWindow->destroying) return nullptr;
    }
    EnsureQueueSource();
    const HWND hWnd = reinterpret_cast<HWND>(g_nextHandle++);
    auto window = std::make_unique<Window>();
    window->object = object;
    window->parent = parent;
    g_windows.emplace(hWnd, std::move(window));
    {
        std::lock_guard lock(g_queueMutex);
        g_live.insert(hWnd);
    }
    if (parentWindow != nullptr) parentWindow->children.push_back(hWnd);

    if (SendMessage(hWnd, WM_CREATE) == -1) {
        DestroyWindow(hWnd);
        return nullptr;
    }
    return IsWindow(hWnd) ? hWnd : nullptr;
}

bool DestroyWindow(HWND hWnd) {
    Window* window = Find(hWnd);
    if (window == nullptr || window->destroying) return false;
    window->destroying = true;

    // The window hears WM_DESTROY while its children still exist, so that it can still reach them
    // (disconnect from the page the browser child shows, say); then the children go, each the same way.
    SendMessage(hWnd, WM_DESTROY);

    // The handler may have touched the table, its children included; look the window up again.
    const std::vector<HWND> children = Find(hWnd)->children;
    for (HWND child : children) DestroyWindow(child);

    window = Find(hWnd);
    RemoveTimers(*window);
    if (Window* parentWindow = Find(window->parent)) {
        std::erase(parentWindow->children, hWnd);
    }
    {
        std::lock_guard lock(g_queueMutex);
        g_live.erase(hWnd);
    }
    g_windows.erase(hWnd);
    return true;
}

bool IsWindow(HWND hWnd) { return Find(hWnd) != nullptr; }

HWND GetParent(HWND hWnd) {
    const Window* window = Find(hWnd);
    return window != nullptr && IsWindow(window->parent) ? window->parent : nullptr;
}

bool PostMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (hWnd == nullptr) return false;
    EnsureQueueSource();
    {
        std::lock_guard lock(g_queueMutex);
        if (!g_live.contains(hWnd)) return false;
        g_queue.push_back({hWnd, uMsg, wParam, lParam});
    }
    g_main_context_wakeup(nullptr);
    return true;
}

LRESULT SendMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    const Window* window = Find(hWnd);
    if (window == nullptr) return 0;
    LRESULT result = 0;
    if (window->object->ProcessWindowMessage(hWnd, uMsg, wParam, lParam, result, 0)) return result;
    return DefWindowProc(hWnd, uMsg, wParam, lParam);
}

LRESULT DefWindowProc(HWND hWnd, UINT uMsg, WPARAM, LPARAM) {
    if (uMsg == WM_CLOSE) DestroyWindow(hWnd);
    return 0;
}

bool SetTimer(HWND hWnd, uintptr_t id, uint32_t elapseMs) {
    Window* window = Find(hWnd);
    if (window == nullptr || window->destroying) return false;
    if (const auto it = window->timers.find(id); it != window->timers.end()) {
        g_source_remove(it->second);
        window->timers.erase(it);
    }
    auto* key = new TimerKey{hWnd, id};
    const guint source = g_timeout_add_full(G_PRIORITY_DEFAULT, elapseMs, TimerTick, key,
                                            [](gpointer data) { delete static_cast<TimerKey*>(data); });
    window->timers.emplace(id, source);
    return true;
}

bool KillTimer(HWND hWnd, uintptr_t id) {
    Window* window = Find(hWnd);
    if (window == nullptr) return false;
    const auto it = window->timers.find(id);
    if (it == window->timers.end()) return false;
    g_source_remove(it->second);
    window->timers.erase(it);
    return true;
}

void PostQuitMessage(int exitCode) {
    g_exitCode = exitCode;
    if (g_loop != nullptr) {
        g_main_loop_quit(g_loop);
    } else {
        g_quitPending = true;  // ends the next loop at once, as a queued quit would
    }
}

int RunMessageLoop() {
    if (g_quitPending) {
        g_quitPending = false;
        return g_exitCode;
    }
    EnsureQueueSource();
    GMainLoop* outer = g_loop;
    g_loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(g_loop);
    g_main_loop_unref(g_loop);
    g_loop = outer;
    return g_exitCode;
}

void SetNativeWidget(HWND hWnd, void* widget) {
    if (Window* window = Find(hWnd)) window->nativeWidget = widget;
}

void* GetNativeWidget(HWND hWnd) {
    const Window* window = Find(hWnd);
    return window == nullptr ? nullptr : window->nativeWidget;
}

}  // namespace platform
