#pragma once

#include <string>

#include "platform/Messages.h"
#include "webhost/IBrowserEngine.h"

// A page button's sink: a mouse press sends the target window the button's action, synchronously.
class CButtonEvent : public WebWindow::IEventSink {
  public:
    static constexpr int kMarkAllRead = 1;
    static constexpr int kRemoveAll = 2;

    CButtonEvent(platform::HWND hWndTarget, int nKind);

    // Connects to mouse presses on the element `elementId` of the document; true on success.
    bool ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId);
    void Invoke(int dispid, const WebWindow::EventArgs& args) override;

    platform::HWND m_hWndTarget;
    int m_nKind;
};
