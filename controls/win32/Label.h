// TLabel for Win32: one line of text on a solid background as a child window
// of its own, sized to its text. The window's text is the label's text, so
// that the accessibility layer reads it (as static text) and announces its
// changes. Used on the window's thread only.
#pragma once

#include "controls/Colors.h"
#include "controls/win32/Accessible.h"

#include <windows.h>

#include <memory>
#include <string>

namespace controls::win32 {

class TLabel {
public:
    // Description is what the accessibility layer tells beside the text.
    TLabel(HWND Parent, TColor Background, const std::u16string& Description = {});
    ~TLabel();
    TLabel(const TLabel&) = delete;
    TLabel& operator=(const TLabel&) = delete;

    HWND Handle() const { return hwnd_; }
    // The label's top-left corner; it sizes itself to its text.
    void SetPosition(int Left, int Top);
    void SetFont(HFONT Font);  // not owned
    void SetColor(TColor Color);
    void SetText(const std::u16string& Text);
    const std::u16string& Text() const { return text_; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    void Resize();
    void Paint(HDC Target);

    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    TColor background_, color_ = clBlack;
    std::u16string text_;
    int left_ = 0, top_ = 0;
    std::unique_ptr<TAccessibleWindow> accessible_;
};

}  // namespace controls::win32
