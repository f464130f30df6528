// Small GDI helpers shared by the Win32 painters: colour values as GDI
// colours, fonts by pixel height, an off-screen 32-bit bitmap for
// double-buffered painting, and images with alpha decoded from PNG by WIC.
#pragma once

#include "controls/Colors.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace controls::win32 {

// Registers the window class of a control (arrow cursor, no background
// brush: the control paints all of itself); a class already registered
// stays as it is.
void RegisterControlClass(const wchar_t* ClassName, WNDPROC Proc);

// The GDI colour of a colour value; system colours come from the system.
COLORREF ToColorRef(TColor Color);

// A font of the given face whose characters are Pixels high (a negative
// font height, as the window's fonts are given). Owned by the caller.
HFONT CreatePixelFont(const std::wstring& Face, int Pixels, bool Bold = false);

// An off-screen 32-bit top-down bitmap selected into a memory DC.
class TOffscreen {
public:
    TOffscreen(HDC Like, int Width, int Height);
    ~TOffscreen();
    TOffscreen(const TOffscreen&) = delete;
    TOffscreen& operator=(const TOffscreen&) = delete;

    HDC Dc() const { return dc_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The pixels as 0x00RRGGBB, row by row (GdiFlush first when GDI drew).
    std::uint32_t* Pixels() const { return bits_; }
    void Fill(COLORREF Color);
    void CopyTo(HDC Target, int X, int Y) const;

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    int width_, height_;
};

// An image with alpha: 32-bit pixels 0xAARRGGBB, alpha not premultiplied
// (the layout of WIC's 32bppBGRA).
class TImage {
public:
    TImage() = default;
    TImage(int Width, int Height, std::vector<std::uint32_t> Pixels);

    bool Empty() const { return width_ == 0 || height_ == 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint32_t* Row(int Y) { return pixels_.data() + std::size_t(Y) * width_; }
    const std::uint32_t* Row(int Y) const { return pixels_.data() + std::size_t(Y) * width_; }

    // Draws the image blended by its alpha over what lies beneath, at its
    // size or stretched to Width x Height.
    void Draw(HDC Target, int X, int Y) const { Draw(Target, X, Y, width_, height_); }
    void Draw(HDC Target, int X, int Y, int Width, int Height) const;

    // The image resampled to Width x Height with a tent filter over
    // premultiplied pixels (bilinear when enlarging, averaging every source
    // pixel when shrinking), so that edges stay smooth at any scale.
    TImage Scaled(int Width, int Height) const;

    // The pixel at (X, Y) as 0x00RRGGBB (alpha dropped).
    std::uint32_t Rgb(int X, int Y) const { return Row(Y)[X] & 0xFFFFFF; }

    // What the screen shows in Bounds (screen coordinates), fully opaque.
    static TImage FromScreen(const RECT& Bounds);
    // Writes the image as a PNG file. COM must be initialised.
    bool SavePng(const std::wstring& Path) const;

    // Decodes a PNG (or any format WIC knows) held in memory. COM must be
    // initialised on the calling thread. An empty image when it fails.
    static TImage Decode(const void* Data, std::size_t Size);
    // Decodes an RCDATA resource of the program by its name.
    static TImage FromResource(const wchar_t* Name);

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;
};

}  // namespace controls::win32
