#pragma once

#include <functional>
#include <string>

#include <gio/gio.h>

#include "platform/GObjectPtr.h"

// Tells the GUI thread when a file changes on disk, whoever wrote it, without waking up in between
// (inotify through GIO). The store's file changes at every commit: the poll's inserts, the page's read
// marks and any other program's writes alike.
class StoreWatch {
  public:
    // `changed` runs on the thread's main context. Nothing is watched when the file cannot be.
    StoreWatch(const std::string& path, std::function<void()> changed);
    ~StoreWatch();
    StoreWatch(const StoreWatch&) = delete;
    StoreWatch& operator=(const StoreWatch&) = delete;

    // Whether changes are reported; without it, only polling sees them.
    bool IsWatching() const { return m_handler != 0; }

  private:
    static void OnChanged(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer self);

    std::function<void()> m_changed;
    platform::GObjectPtr<GFileMonitor> m_monitor;
    gulong m_handler = 0;
};
