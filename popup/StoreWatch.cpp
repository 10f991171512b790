#include "popup/StoreWatch.h"

#include <utility>

#include "platform/DebugLog.h"

StoreWatch::StoreWatch(const std::string& path, std::function<void()> changed)
    : m_changed(std::move(changed)) {
    g_autoptr(GFile) file = g_file_new_for_path(path.c_str());
    g_autoptr(GError) error = nullptr;
    m_monitor.reset(g_file_monitor_file(file, G_FILE_MONITOR_NONE, nullptr, &error));
    // A polling monitor would wake up on its own every few seconds; then the caller's own polling is
    // better.
    if (!m_monitor || !G_TYPE_CHECK_INSTANCE_TYPE(m_monitor.get(), g_type_from_name("GLocalFileMonitor"))) {
        platform::DebugLog("popup", "the store's file is not watched: " +
                                        std::string(error ? error->message : "no change notification"));
        m_monitor.reset();
        return;
    }
    // Every change is reported at once; SQLite writes a commit in a few calls, close together.
    g_file_monitor_set_rate_limit(m_monitor.get(), 0);
    m_handler = g_signal_connect(m_monitor.get(), "changed", G_CALLBACK(OnChanged), this);
}

StoreWatch::~StoreWatch() {
    if (m_handler != 0) g_signal_handler_disconnect(m_monitor.get(), m_handler);
    if (m_monitor) g_file_monitor_cancel(m_monitor.get());
}

void StoreWatch::OnChanged(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent event, gpointer self) {
    if (event == G_FILE_MONITOR_EVENT_ATTRIBUTE_CHANGED) return;
    static_cast<StoreWatch*>(self)->m_changed();
}
