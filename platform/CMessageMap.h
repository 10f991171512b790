#pragma once

#include "platform/Messages.h"

namespace platform {

// A window object: the platform routes every message of its window here. Returning false means
// "not handled" and sends the message to default processing (DefWindowProc).
class CMessageMap {
  public:
    virtual ~CMessageMap() = default;
    virtual bool ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult,
                                      uint32_t dwMsgMapID = 0) = 0;
};

}  // namespace platform
