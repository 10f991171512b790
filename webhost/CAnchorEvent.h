#pragma once

#include <string>

#include "webhost/IBrowserEngine.h"

// The close anchor's sink: a mouse press asks the popup to close.
class CAnchorEvent : public WebWindow::IEventSink {
  public:
    bool ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId);
    void Invoke(int dispid, const WebWindow::EventArgs& args) override;
};
