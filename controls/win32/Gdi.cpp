#include "controls/win32/Gdi.h"

#include <wincodec.h>

#include <algorithm>
#include <cmath>

namespace controls::win32 {

void RegisterControlClass(const wchar_t* ClassName, WNDPROC Proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = ClassName;
    RegisterClassExW(&wc);
}

COLORREF ToColorRef(TColor Color) {
    if ((Color & clSystemColor) == 0) return COLORREF(Color & 0xFFFFFF);
    return GetSysColor(Color & 0xFF);
}

HFONT CreatePixelFont(const std::wstring& Face, int Pixels, bool Bold) {
    LOGFONTW font{};
    font.lfHeight = -Pixels;
    font.lfWeight = Bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, Face.c_str(), LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

TOffscreen::TOffscreen(HDC Like, int Width, int Height) : width_(Width), height_(Height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(Like);
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(Like, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t*>(bits);
    old_ = SelectObject(dc_, bitmap_);
}

TOffscreen::~TOffscreen() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
}

void TOffscreen::Fill(COLORREF Color) {
    const RECT all{0, 0, width_, height_};
    HBRUSH brush = CreateSolidBrush(Color);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
}

void TOffscreen::CopyTo(HDC Target, int X, int Y) const {
    BitBlt(Target, X, Y, width_, height_, dc_, 0, 0, SRCCOPY);
}

TImage::TImage(int Width, int Height, std::vector<std::uint32_t> Pixels)
    : width_(Width), height_(Height), pixels_(std::move(Pixels)) {}

void TImage::Draw(HDC Target, int X, int Y, int Width, int Height) const {
    if (Empty() || Width <= 0 || Height <= 0) return;
    // AlphaBlend wants premultiplied pixels.
    TOffscreen source(Target, width_, height_);
    for (int y = 0; y < height_; ++y) {
        const std::uint32_t* from = Row(y);
        std::uint32_t* to = source.Pixels() + std::size_t(y) * width_;
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t p = from[x], a = p >> 24;
            const std::uint32_t r = ((p >> 16) & 0xFF) * a / 255, g = ((p >> 8) & 0xFF) * a / 255, b = (p & 0xFF) * a / 255;
            to[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    SetStretchBltMode(Target, HALFTONE);
    AlphaBlend(Target, X, Y, Width, Height, source.Dc(), 0, 0, width_, height_, blend);
}

namespace {

// The source pixels and weights of each destination pixel along one axis.
struct TTap {
    int Source;
    float Weight;
};

std::vector<std::vector<TTap>> Taps(int From, int To) {
    const float scale = float(From) / float(To);
    const float support = std::max(1.0f, scale);
    std::vector<std::vector<TTap>> taps(static_cast<std::size_t>(To));
    for (int i = 0; i < To; ++i) {
        const float centre = (float(i) + 0.5f) * scale - 0.5f;
        float sum = 0;
        for (int j = int(std::floor(centre - support)); j <= int(std::ceil(centre + support)); ++j) {
            const float weight = 1.0f - std::fabs(float(j) - centre) / support;
            if (weight <= 0) continue;
            taps[std::size_t(i)].push_back({std::clamp(j, 0, From - 1), weight});
            sum += weight;
        }
        for (TTap& tap : taps[std::size_t(i)]) tap.Weight /= sum;
    }
    return taps;
}

template <class T>
struct TComPtr {
    T* p = nullptr;
    ~TComPtr() { if (p) p->Release(); }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

}  // namespace

TImage TImage::Scaled(int Width, int Height) const {
    if (Empty() || Width <= 0 || Height <= 0) return {};
    if (Width == width_ && Height == height_) return *this;
    // Premultiplied channels as floats: a transparent pixel adds no colour.
    std::vector<float> source(pixels_.size() * 4);
    for (std::size_t i = 0; i < pixels_.size(); ++i) {
        const std::uint32_t p = pixels_[i];
        const float a = float(p >> 24) / 255.0f;
        source[i * 4 + 0] = a;
        source[i * 4 + 1] = float((p >> 16) & 0xFF) * a;
        source[i * 4 + 2] = float((p >> 8) & 0xFF) * a;
        source[i * 4 + 3] = float(p & 0xFF) * a;
    }
    const auto across = Taps(width_, Width), down = Taps(height_, Height);
    std::vector<float> rows(std::size_t(Width) * height_ * 4, 0.0f);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < Width; ++x)
            for (const TTap& tap : across[std::size_t(x)])
                for (int c = 0; c < 4; ++c)
                    rows[(std::size_t(y) * Width + x) * 4 + c] +=
                        tap.Weight * source[(std::size_t(y) * width_ + tap.Source) * 4 + c];
    std::vector<std::uint32_t> pixels(std::size_t(Width) * Height);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x) {
            float v[4] = {0, 0, 0, 0};
            for (const TTap& tap : down[std::size_t(y)])
                for (int c = 0; c < 4; ++c) v[c] += tap.Weight * rows[(std::size_t(tap.Source) * Width + x) * 4 + c];
            const float a = std::clamp(v[0], 0.0f, 1.0f);
            auto channel = [a](float premultiplied) {
                return a > 0 ? std::uint32_t(std::clamp(premultiplied / a + 0.5f, 0.0f, 255.0f)) : 0u;
            };
            pixels[std::size_t(y) * Width + x] = (std::uint32_t(a * 255.0f + 0.5f) << 24) | (channel(v[1]) << 16) |
                                                 (channel(v[2]) << 8) | channel(v[3]);
        }
    return TImage(Width, Height, std::move(pixels));
}

TImage TImage::Decode(const void* Data, std::size_t Size) {
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return {};
    TComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream))) return {};
    if (FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(Data)), DWORD(Size)))) return {};
    TComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromStream(stream.p, nullptr, WICDecodeMetadataCacheOnLoad, &decoder))) return {};
    TComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, &frame))) return {};
    TComPtr<IWICBitmapSource> converted;
    if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.p, &converted))) return {};
    UINT width = 0, height = 0;
    if (FAILED(converted->GetSize(&width, &height)) || width == 0 || height == 0) return {};
    std::vector<std::uint32_t> pixels(std::size_t(width) * height);
    if (FAILED(converted->CopyPixels(nullptr, width * 4, UINT(pixels.size() * 4), reinterpret_cast<BYTE*>(pixels.data()))))
        return {};
    return TImage(int(width), int(height), std::move(pixels));
}

TImage TImage::FromScreen(const RECT& Bounds) {
    const int width = Bounds.right - Bounds.left, height = Bounds.bottom - Bounds.top;
    if (width <= 0 || height <= 0) return {};
    HDC screen = GetDC(nullptr);
    TOffscreen copy(screen, width, height);
    BitBlt(copy.Dc(), 0, 0, width, height, screen, Bounds.left, Bounds.top, SRCCOPY);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    std::vector<std::uint32_t> pixels(copy.Pixels(), copy.Pixels() + std::size_t(width) * height);
    for (std::uint32_t& p : pixels) p |= 0xFF000000u;
    return TImage(width, height, std::move(pixels));
}

bool TImage::SavePng(const std::wstring& Path) const {
    if (Empty()) return false;
    TComPtr<IWICImagingFactory> factory;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;
    TComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(&stream)) || FAILED(stream->InitializeFromFilename(Path.c_str(), GENERIC_WRITE)))
        return false;
    TComPtr<IWICBitmapEncoder> encoder;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
        FAILED(encoder->Initialize(stream.p, WICBitmapEncoderNoCache)))
        return false;
    TComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(encoder->CreateNewFrame(&frame, nullptr)) || FAILED(frame->Initialize(nullptr))) return false;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
    if (FAILED(frame->SetSize(UINT(width_), UINT(height_))) || FAILED(frame->SetPixelFormat(&format))) return false;
    if (FAILED(frame->WritePixels(UINT(height_), UINT(width_ * 4), UINT(pixels_.size() * 4),
                                  reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(pixels_.data())))))
        return false;
    return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

TImage TImage::FromResource(const wchar_t* Name) {
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, Name, MAKEINTRESOURCEW(10));  // RT_RCDATA
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    if (!loaded) return {};
    return Decode(LockResource(loaded), SizeofResource(module, found));
}

}  // namespace controls::win32
