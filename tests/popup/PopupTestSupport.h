#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <glib.h>

#include "platform/CMessageMap.h"
#include "platform/WindowManager.h"
#include "store/FeedItem.h"
#include "store/ItemStore.h"
#include "tools/harness/MainLoop.h"
#include "tools/harness/TempDir.h"

namespace popup_test {

using harness::RunFor;
using harness::SpinUntil;
using harness::TempDir;

// Runs what the main context has ready, posted messages included, without waiting.
inline void Drain() {
    for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
    }
}

struct Message {
    platform::UINT msg;
    platform::WPARAM wParam;
    platform::LPARAM lParam;
    bool operator==(const Message&) const = default;
};

// A window that keeps every message it gets.
class RecordingWindow : public platform::CMessageMap {
  public:
    RecordingWindow() {
        hWnd = platform::CreateWindow(this);
        messages.clear();
    }
    ~RecordingWindow() override {
        if (platform::IsWindow(hWnd)) platform::DestroyWindow(hWnd);
    }
    bool ProcessWindowMessage(platform::HWND, platform::UINT uMsg, platform::WPARAM wParam,
                              platform::LPARAM lParam, platform::LRESULT& lResult, uint32_t) override {
        messages.push_back({uMsg, wParam, lParam});
        lResult = 0;
        return uMsg != platform::WM_CREATE && uMsg != platform::WM_DESTROY;
    }
    std::vector<platform::UINT> Numbers() const {
        std::vector<platform::UINT> numbers;
        for (const Message& m : messages) numbers.push_back(m.msg);
        return numbers;
    }

    std::vector<Message> messages;
    platform::HWND hWnd = nullptr;
};

// Names a parameterised case after its table row's `name`.
inline constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

inline FeedItem StoredItem(const std::string& date, const std::string& url, const std::string& buyUrl = "",
                           const std::string& title = "t") {
    FeedItem item;
    item.msg_date = date;
    item.msg_url = url;
    item.msg_buyurl = buyUrl;
    item.msg_title = title;
    item.msg_top = "0";
    item.msg_picurl = "http://127.0.0.1/p.png";
    return item;
}

// The stored rows' read marks, newest first.
inline std::vector<std::string> ReadMarks(ItemStore& store) {
    std::vector<std::string> marks;
    for (const FeedItem& row : store.ListItems().value_or(std::vector<FeedItem>{}))
        marks.push_back(row.msg_top);
    return marks;
}

}  // namespace popup_test
