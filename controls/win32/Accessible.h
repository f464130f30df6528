// What the system's accessibility layer, and so a screen reader, learns of
// one of the painted child windows (image button, gauge, label): its role,
// its name (the window's text), its state (unavailable, focusable, focused,
// invisible), its value and its default action. Location, parent and
// navigation come from the system's standard object for the window.
//
// The control keeps one TAccessibleWindow and answers WM_GETOBJECT with it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace controls::win32 {

struct TAccessibleTraits {
    long Role = 0;                               // ROLE_SYSTEM_...
    bool Focusable = false;                      // takes the keyboard focus while enabled
    std::u16string Description;                  // none when empty
    std::function<std::u16string()> Value;       // none when empty
    std::function<void()> DefaultAction;         // none when empty; run on the window's thread
};

class TAccessibleObject;

class TAccessibleWindow {
public:
    TAccessibleWindow(HWND Window, TAccessibleTraits Traits);
    ~TAccessibleWindow();  // clients still holding the object get "disconnected"
    TAccessibleWindow(const TAccessibleWindow&) = delete;
    TAccessibleWindow& operator=(const TAccessibleWindow&) = delete;

    // The answer to WM_GETOBJECT; the caller passes other object ids to
    // DefWindowProc when Handled is false.
    LRESULT Answer(WPARAM wparam, LPARAM lparam, bool& Handled);
    // Runs the default action posted by a client (see kDefaultActionMessage).
    void RunDefaultAction();
    // Tells listening clients that the value changed.
    void NotifyValueChanged() const;

    // Posted to the window by a client's default action, so that a click
    // (which may open a modal dialog) never runs inside the client's call.
    static constexpr UINT kDefaultActionMessage = WM_APP + 20;

private:
    HWND hwnd_;
    TAccessibleTraits traits_;
    TAccessibleObject* object_ = nullptr;
};

}  // namespace controls::win32
