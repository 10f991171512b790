#pragma once

#include <vector>

#include "platform/Messages.h"
#include "popup/WindowShape.h"
#include "webhost/IBrowserEngine.h"

// The toolkit side of the popup: its top-level window, skin, shape, clipboard and screen position.
// The GTK implementation draws for real; unit tests use a recording fake.
class IPopupSurface {
  public:
    virtual ~IPopupSurface() = default;

    // Builds an undecorated, fixed-size top-level for `hWnd` and registers its child container as the
    // window's native widget. A close request from the window manager is posted to `hWnd` as WM_CLOSE.
    virtual void Create(platform::HWND hWnd, int width, int height) = 0;
    // Loads the skin painted behind the children; false when it cannot be decoded.
    virtual bool LoadSkin() = 0;
    virtual void SetShape(const std::vector<ShapeRun>& runs) = 0;
    virtual void SetClipboardText(const std::string& utf8) = 0;
    virtual void Show() = 0;
    virtual void Focus() = 0;
    virtual void Redraw() = 0;
    // The primary monitor's area without panels, in screen coordinates.
    virtual platform::Rect WorkArea() const = 0;
    virtual void Move(int x, int y) = 0;
    // Tears the top-level down; nothing reaches the window afterwards.
    virtual void Destroy() = 0;
};
