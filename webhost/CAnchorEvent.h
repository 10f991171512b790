#pragma once

#include <string>

#include "platform/Messages.h"
#include "webhost/IBrowserEngine.h"

// The close anchor's sink: a mouse press asks the target window to close.
class CAnchorEvent : public WebWindow::IEventSink {
  public:
    explicit CAnchorEvent(platform::HWND hWndTarget);

    bool ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId);
    void Invoke(int dispid, const WebWindow::EventArgs& args) override;

    platform::HWND m_hWndTarget;
};
