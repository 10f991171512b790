#pragma once

#include <string>

#include "webhost/IBrowserEngine.h"

// A page button's sink: a mouse press sends the popup the button's action, synchronously.
class CButtonEvent : public WebWindow::IEventSink {
  public:
    static constexpr int kMarkAllRead = 1;
    static constexpr int kRemoveAll = 2;

    explicit CButtonEvent(int nKind);

    // Connects to mouse presses on the element `elementId` of the document; true on success.
    bool ConnectTo(WebWindow::IBrowserEngine* document, const std::string& elementId);
    void Invoke(int dispid, const WebWindow::EventArgs& args) override;

    int m_nKind;
};
