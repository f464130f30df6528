#include "app/win32/MainFrm.h"

#include "app/Texts.h"
#include "app/win32/Dialogs.h"

#include <commctrl.h>
#include <oleacc.h>
#include <windowsx.h>

#include <cstdlib>

using namespace controls::win32;

namespace {

constexpr wchar_t kClassName[] = L"ZelvanoSetupMainForm";
constexpr UINT WM_RUN_ACTION = WM_APP + 10;   // lparam: a std::function<void()>* to run and delete
constexpr UINT WM_CALL_ACTION = WM_APP + 11;  // lparam: a const std::function<void()>* to run
// The layout at 96 DPI (100 %); at other DPIs every figure is scaled.
constexpr int kWidth = 600, kHeight = 400;
constexpr int kTitleHeight = 40;
constexpr int kFrame = 2;  // the centre panel's margins left, right and bottom
constexpr int kCenterX = kFrame, kCenterY = kTitleHeight;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// Positions on the centre panel, as the window's tables give them.
struct TPlace { int Left, Top; };
constexpr TPlace kImage2{165, 30}, kInstallPostion{31, 126}, kDownHit{30, 167}, kHint{114, 167},
    kProcessPostion{278, 209};
constexpr TPlace kImage1{30, 5}, kApplicationName{67, 8};

HFONT YaHei(int Pixels, bool Bold = false) { return CreatePixelFont(Wide(texts::SFontFace), Pixels, Bold); }

// The DPI of the window's monitor where the system tells it per window
// (Windows 10 1607 and later), else the system's DPI.
UINT WindowDpi(HWND window) {
    using TGetDpiForWindow = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<TGetDpiForWindow>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    }
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? UINT(dpi) : 96;
}

// The artwork drawn for the scale nearest above the DPI (100, 150 or 200 %;
// the resources NAME_PNG, NAME_150_PNG, NAME_200_PNG), resampled to the
// scaled size when the DPI lies between.
TImage Artwork(const std::wstring& Name, UINT Dpi, int Width, int Height) {
    const wchar_t* scale = Dpi <= 96 ? L"" : Dpi <= 144 ? L"_150" : L"_200";
    TImage image = TImage::FromResource((Name + scale + L"_PNG").c_str());
    if (image.Empty()) image = TImage::FromResource((Name + L"_PNG").c_str());
    const int w = MulDiv(Width, int(Dpi), 96), h = MulDiv(Height, int(Dpi), 96);
    if (image.Empty() || (image.Width() == w && image.Height() == h)) return image;
    return image.Scaled(w, h);
}

void FillBox(HDC dc, int left, int top, int width, int height, controls::TColor color) {
    const RECT box{left, top, left + width, top + height};
    HBRUSH brush = CreateSolidBrush(ToColorRef(color));
    FillRect(dc, &box, brush);
    DeleteObject(brush);
}

void DrawLabel(HDC dc, int left, int top, HFONT font, controls::TColor color, const std::u16string& text) {
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ToColorRef(color));
    TextOutW(dc, left, top, Wide(text), int(text.size()));
    SelectObject(dc, old);
}

}  // namespace

TMainForm::TMainForm() : TInstaller(static_cast<IInstallerWindow&>(*this)), thread_(GetCurrentThreadId()) {
    static const bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TMainForm::WindowProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;

    // A popup window without caption or border; the system menu and the
    // minimise box let the taskbar and WM_SYSCOMMAND minimise it. Its size
    // follows the DPI of its monitor (ApplyDpi).
    const DWORD style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, Wide(texts::SWindowTitle), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr, GetModuleHandleW(nullptr), this);

    // The folder box shows the folder and cannot be typed in; it is a stop
    // of the Tab key, where Enter presses Install.
    Edt_InstallDir = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                     WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                     hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);

    lb_Hint = std::make_unique<TLabel>(hwnd_, controls::clWhite, texts::SHintLineName);

    G_Process = std::make_unique<TProgressGauge>(hwnd_);
    SetWindowTextW(G_Process->Handle(), Wide(texts::SInstallProgressName));
    G_Process->SetBorderStyle(controls::bsNone);
    G_Process->SetBackColor(13421772);
    G_Process->SetForeColor(11056130);
    G_Process->SetMaxValue(100);
    G_Process->SetProgress(40);
    G_Process->SetShowText(false);
    G_Process->SetSuffix(u"%");

    // The hidden page control's parts: the log box and the download page's
    // gauge exist, but the page is never shown.
    M_Log = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE | ES_READONLY | WS_VSCROLL, 0, 0, 0, 0, hwnd_,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    G_DownLoad = std::make_unique<TProgressGauge>(hwnd_);
    ShowWindow(G_DownLoad->Handle(), SW_HIDE);
    G_DownLoad->SetBounds(15, 259, 455, 25);
    G_DownLoad->SetForeColor(controls::clBlack);
    G_DownLoad->SetMaxValue(100);
    G_DownLoad->SetSuffix(u"%");
    installGauge_ = std::make_unique<TGaugeAdapter<TProgressGauge>>(*G_Process);
    downloadGauge_ = std::make_unique<TGaugeAdapter<TProgressGauge>>(*G_DownLoad);

    OnInstallClick = [this] { Btn_InstallClick(FBtn_Install.get()); };
    OnChangeDirClick = [this] { Btn_SelectDirClick(FBtn_ChangeDir.get()); };
    OnCloseClick = [this] { Btn_CloseClick(FBtn_Close1.get()); };
    dialogs::SetOwnerWindow(hwnd_);
    FormCreate();
}

int TMainForm::Scale(int Pixels) const { return MulDiv(Pixels, int(dpi_), 96); }

RECT TMainForm::Scaled(int Left, int Top, int Width, int Height) const {
    return RECT{Scale(Left), Scale(Top), Scale(Left) + Scale(Width), Scale(Top) + Scale(Height)};
}

RECT TMainForm::OnCenter(int Left, int Top, int Width, int Height) const {
    const int x = Scale(kCenterX) + Scale(Left), y = Scale(kCenterY) + Scale(Top);
    return RECT{x, y, x + Scale(Width), y + Scale(Height)};
}

void TMainForm::ApplyDpi(UINT Dpi, const RECT* Suggested) {
    dpi_ = Dpi ? Dpi : 96;
    // Fonts in the pixel heights of the layout, scaled: the same point sizes.
    HFONT old[] = {fontTitle_, fontBold16_, font16_, font14_};
    fontTitle_ = YaHei(Scale(17));
    fontBold16_ = YaHei(Scale(16), true);
    font16_ = YaHei(Scale(16));
    font14_ = YaHei(Scale(14));

    icon_ = Artwork(L"ICON", dpi_, 30, 30);
    logo_ = Artwork(L"LOGO", dpi_, 230, 60);
    ImageList = {Artwork(L"CLOSE_HOT", dpi_, 30, 30), Artwork(L"CLOSE", dpi_, 30, 30),
                 Artwork(L"MIN_HOT", dpi_, 30, 30), Artwork(L"MIN", dpi_, 30, 30)};
    ImageList1 = {Artwork(L"INSTALL", dpi_, 117, 44), Artwork(L"INSTALL_HOT", dpi_, 117, 44)};
    ImageList2 = {Artwork(L"CHANGE", dpi_, 74, 28), Artwork(L"CHANGE_HOT", dpi_, 74, 28)};

    auto place = [](HWND child, const RECT& r) {
        SetWindowPos(child, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(Edt_InstallDir, OnCenter(117, 123, 358, 29));
    SendMessageW(Edt_InstallDir, WM_SETFONT, reinterpret_cast<WPARAM>(font16_), TRUE);
    place(M_Log, OnCenter(0, 0, 36, 33));
    place(G_Process->Handle(), OnCenter(35, 239, 525, 15));
    G_Process->SetFont(font16_);
    const RECT hint = OnCenter(kHint.Left, kHint.Top, 0, 0);
    lb_Hint->SetFont(font14_);
    lb_Hint->SetPosition(hint.left, hint.top);
    G_DownLoad->SetBounds(Scale(15), Scale(259), Scale(455), Scale(25));

    struct TButtonPlace {
        TImageButton* button;
        RECT bounds;
        const TImage& normal;
        const TImage& hot;
    };
    if (FBtn_Min) {
        const TButtonPlace buttons[] = {
            {FBtn_Min.get(), Scaled(504, 0, 28, kTitleHeight), ImageList[3], ImageList[2]},
            {FBtn_Close1.get(), Scaled(542, 0, 28, kTitleHeight), ImageList[1], ImageList[0]},
            {FBtn_Install.get(), OnCenter(234, 282, 117, 44), ImageList1[0], ImageList1[1]},
            {FBtn_ChangeDir.get(), OnCenter(494, 123, 74, 28), ImageList2[0], ImageList2[1]},
        };
        for (const TButtonPlace& b : buttons) {
            place(b.button->Handle(), b.bounds);
            b.button->SetImageDown(b.hot);
            b.button->SetImageOver(b.hot);
            b.button->SetImageNormal(b.normal);  // rebuilds the faded image too
        }
    }
    for (HFONT font : old) if (font) DeleteObject(font);

    RECT window;
    GetWindowRect(hwnd_, &window);
    if (Suggested) window = *Suggested;
    SetWindowPos(hwnd_, nullptr, window.left, window.top, Scale(kWidth), Scale(kHeight),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd_, nullptr, FALSE);
}

TMainForm::~TMainForm() {
    FBtn_Min.reset();
    FBtn_Close1.reset();
    FBtn_Install.reset();
    FBtn_ChangeDir.reset();
    G_Process.reset();
    G_DownLoad.reset();
    lb_Hint.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : {fontTitle_, fontBold16_, font16_, font14_}) DeleteObject(font);
}

void TMainForm::FormCreate() {
    appName_ = texts::SApplicationName;
    CreateImageButtons();
    ApplyDpi(WindowDpi(hwnd_), nullptr);
    G_Process->SetProgress(0);
    packageFolder_ = texts::SFileNameDefault;
    hint1_ = texts::SHint1Start;
    lb_Hint->SetColor(app::kMidGrey);
    lb_Hint->SetText(texts::SHintReady);
    percent_ = texts::SPercentZero;
    ProcessMessages();
    const wchar_t* programFiles = _wgetenv(L"PROGRAMFILES");
    SetWindowTextW(Edt_InstallDir, programFiles ? programFiles : L"");
}

void TMainForm::CreateImageButtons() {
    // Places and images follow the DPI (ApplyDpi); Install and Change are
    // stops of the Tab key.
    struct ButtonRow {
        std::unique_ptr<TImageButton>& field;
        const char16_t* hint;
        std::function<void()>* click;
        controls::TColor background;
        bool tabStop;
    };
    const ButtonRow rows[] = {
        {FBtn_Min, texts::SHintMin, nullptr, app::kTeal, false},
        {FBtn_Close1, texts::SHintClose, &OnCloseClick, app::kTeal, false},
        {FBtn_Install, texts::SHintInstall, &OnInstallClick, controls::clWhite, true},
        {FBtn_ChangeDir, texts::SHintChange, &OnChangeDirClick, controls::clWhite, true},
    };
    for (const ButtonRow& row : rows) {
        auto button = std::make_unique<TImageButton>(hwnd_, row.background);
        button->SetHint(row.hint);
        button->SetShowHint(true);
        button->SetTabStop(row.tabStop);
        button->SetButtonStyle(controls::pbsFlat);
        button->DrawFaceOnMouseOver = controls::clGreen;
        button->DrawFaceOnPush = controls::clYellow;
        button->IsDrawFaceOnMouseOver = false;
        button->IsDrawBorderOnMouseOver = false;
        button->IsDrawBorderOnPush = false;
        button->IsDrawFaceOnPush = false;
        button->SetIsShowCaption(false);
        if (row.click) {
            button->OnClick = [click = row.click](TImageButton*) {
                if (*click) (*click)();
            };
        } else {
            button->OnClick = [this](TImageButton*) { Btn_MinClick(); };
        }
        row.field = std::move(button);
    }
    // The Tab key follows the order of the child windows: the folder box,
    // Change beside it, then Install below.
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    SetWindowPos(FBtn_ChangeDir->Handle(), Edt_InstallDir, 0, 0, 0, 0, keep);
    SetWindowPos(FBtn_Install->Handle(), FBtn_ChangeDir->Handle(), 0, 0, 0, 0, keep);
}

void TMainForm::Show() {
    // Centred on the work area of the primary monitor when first shown.
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    RECT window;
    GetWindowRect(hwnd_, &window);
    const int w = window.right - window.left, h = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    FormShow();
}

// The hidden page control shows its download page.
void TMainForm::FormShow() { autoUpdatePage_ = false; }

void TMainForm::Lbl_ApplicationNameMouseDown(bool LeftButton) {
    if (!LeftButton) return;
    ReleaseCapture();
    SendMessageW(hwnd_, WM_SYSCOMMAND, 0xF011, 0);
}

void TMainForm::Btn_MinClick() { PostMessageW(hwnd_, WM_SYSCOMMAND, 0xF020, 0); }

RECT TMainForm::LabelBounds(int Left, int Top, HFONT Font, const std::u16string& Text, int Height) const {
    HDC dc = GetDC(hwnd_);
    HGDIOBJ old = SelectObject(dc, Font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, Wide(Text), int(Text.size()), &extent);
    SelectObject(dc, old);
    ReleaseDC(hwnd_, dc);
    return RECT{Left, Top, Left + extent.cx, Top + (Height ? Height : extent.cy)};
}

RECT TMainForm::PanelRect() const {
    const int width = Scale(kWidth), height = Scale(kHeight), frame = Scale(kFrame);
    return RECT{frame, Scale(kTitleHeight), width - frame, height - frame};
}

RECT TMainForm::CenterLabelBounds(int Left, int Top, HFONT Font, const std::u16string& Text) const {
    const RECT at = OnCenter(Left, Top, 0, 0);
    return LabelBounds(at.left, at.top, Font, Text);
}

std::vector<TMainForm::TPart> TMainForm::WindowlessParts() {
    std::vector<TPart> parts = {
        {"pl_Title", {0, 0, Scale(kWidth), Scale(kTitleHeight)}},
        {"pl_Center", PanelRect()},
        {"Image1", Scaled(kImage1.Left, kImage1.Top, 30, 30)},
        {"Image2", OnCenter(kImage2.Left, kImage2.Top, 230, 60)},
        {"Lbl_ApplicationName",
         LabelBounds(Scale(kApplicationName.Left), Scale(kApplicationName.Top), fontTitle_, appName_, Scale(23))},
        {"Lb_InstallPostion", CenterLabelBounds(kInstallPostion.Left, kInstallPostion.Top, fontBold16_, texts::SInstallPosition)},
        {"Lb_DownHit", CenterLabelBounds(kDownHit.Left, kDownHit.Top, font14_, texts::SDownHint)},
    };
    if (PercentVisible()) {
        parts.push_back({"Lb_ProcessPostion", CenterLabelBounds(kProcessPostion.Left, kProcessPostion.Top, font16_, PercentText())});
    }
    return parts;
}

TImage TMainForm::Picture() {
    UpdateWindow(hwnd_);
    RECT client;
    GetClientRect(hwnd_, &client);
    MapWindowPoints(hwnd_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return TImage::FromScreen(client);
}

void TMainForm::Paint(HDC Target) {
    const int width = Scale(kWidth), height = Scale(kHeight);
    TOffscreen buffer(Target, width, height);
    HDC dc = buffer.Dc();
    // The teal window and title; the white centre panel leaves a teal frame.
    FillBox(dc, 0, 0, width, height, app::kTeal);
    const RECT panel = PanelRect();
    FillBox(dc, panel.left, panel.top, panel.right - panel.left, panel.bottom - panel.top, controls::clWhite);
    // The pictures are drawn at the size of their artwork, which follows the DPI.
    icon_.Draw(dc, Scale(kImage1.Left), Scale(kImage1.Top));
    DrawLabel(dc, Scale(kApplicationName.Left), Scale(kApplicationName.Top), fontTitle_, controls::clWhite, appName_);
    const RECT logo = OnCenter(kImage2.Left, kImage2.Top, 230, 60);
    logo_.Draw(dc, logo.left, logo.top);
    auto drawOnCenter = [&](TPlace at, HFONT font, controls::TColor color, const std::u16string& text) {
        const RECT r = OnCenter(at.Left, at.Top, 0, 0);
        DrawLabel(dc, r.left, r.top, font, color, text);
    };
    drawOnCenter(kInstallPostion, fontBold16_, app::kDarkGrey, texts::SInstallPosition);
    drawOnCenter(kDownHit, font14_, app::kMidGrey, texts::SDownHint);
    if (percentVisible_) drawOnCenter(kProcessPostion, font16_, app::kDarkGrey, percent_);
    buffer.CopyTo(Target, 0, 0);
}

LRESULT CALLBACK TMainForm::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        reinterpret_cast<TMainForm*>(create->lpCreateParams)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<TMainForm*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) return self->Handle(message, wparam, lparam);
    return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT TMainForm::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd_, &ps);
            Paint(dc);
            EndPaint(hwnd_, &ps);
            return 0;
        }
        case WM_PRINTCLIENT:
            Paint(reinterpret_cast<HDC>(wparam));
            return 0;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT: {
            // The disabled edit box keeps a white face with the folder in grey.
            HDC dc = reinterpret_cast<HDC>(wparam);
            SetBkColor(dc, RGB(255, 255, 255));
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            // The title bar (with the icon and the title text) and the logo drag the window.
            const POINT at{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
            const RECT logo = OnCenter(kImage2.Left, kImage2.Top, 230, 60);
            if (at.y < Scale(kTitleHeight) || PtInRect(&logo, at))
                Lbl_ApplicationNameMouseDown(message == WM_LBUTTONDOWN);
            return 0;
        }
        case WM_DPICHANGED:
            // Moved to a monitor of another DPI (or its scale changed): the
            // window lays itself out anew at the place the system suggests.
            ApplyDpi(HIWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_COMMAND:
            // The dialog keys of the message loop: Enter where no button has
            // the focus, and Escape.
            if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == IDOK) {
                if (GetFocus() == Edt_InstallDir) FBtn_Install->KeyPress();
                return 0;
            }
            if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == IDCANCEL) {
                if (OnCloseClick) OnCloseClick();
                return 0;
            }
            break;
        case WM_RUN_ACTION: {
            std::unique_ptr<std::function<void()>> action(reinterpret_cast<std::function<void()>*>(lparam));
            (*action)();
            return 0;
        }
        case WM_CALL_ACTION:
            (*reinterpret_cast<const std::function<void()>*>(lparam))();
            return 0;
        case WM_CLOSE:
            // Alt+F4 and the taskbar's close: as the close button.
            if (OnCloseClick) OnCloseClick();
            else EndMessageLoop(0);
            return 0;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void TMainForm::RunOnWindowThread(std::function<void()> Action) {
    if (OnWindowThread()) {
        Action();
        return;
    }
    PostToWindowThread(std::move(Action));
}

void TMainForm::CallOnWindowThread(const std::function<void()>& Action) {
    if (OnWindowThread()) {
        Action();
        return;
    }
    SendMessageW(hwnd_, WM_CALL_ACTION, 0, reinterpret_cast<LPARAM>(&Action));
}

void TMainForm::SetWindowState(TWindowState State) {
    const app::TStateRow row = app::StateRow(State);
    RunOnWindowThread([this, row] {
        SetHint(row.Hint);
        SetHintColor(row.HintColor);
        // A button disabled under the keyboard focus hands it to the folder
        // box, so that Tab and Escape keep working.
        const HWND focus = GetFocus();
        FBtn_Install->SetEnabled(row.Install);
        FBtn_ChangeDir->SetEnabled(row.Change);
        if ((focus == FBtn_Install->Handle() && !row.Install) || (focus == FBtn_ChangeDir->Handle() && !row.Change))
            SetFocus(Edt_InstallDir);
        if (row.Percent == app::TStateRow::Reset) SetPercentText(texts::SPercentZero);
        SetPercentVisible(row.Percent == app::TStateRow::Shown);
    });
}

void TMainForm::SetHint(const std::u16string& Text) {
    RunOnWindowThread([this, Text] {
        lb_Hint->SetText(Text);
        UpdateWindow(hwnd_);
        UpdateWindow(lb_Hint->Handle());
    });
}

void TMainForm::SetHintColor(controls::TColor Color) {
    RunOnWindowThread([this, Color] { lb_Hint->SetColor(Color); });
}

void TMainForm::InvalidatePercent() {
    const RECT box = CenterLabelBounds(kProcessPostion.Left, kProcessPostion.Top, font16_, percent_);
    InvalidateRect(hwnd_, &box, FALSE);
}

void TMainForm::SetPercentText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] {
        InvalidatePercent();
        percent_ = Text;
        InvalidatePercent();
    });
}

void TMainForm::SetPercentVisible(bool Visible) {
    RunOnWindowThread([this, Visible] {
        percentVisible_ = Visible;
        InvalidatePercent();
    });
}

void TMainForm::AddLogLine(const std::u16string& Line) {
    RunOnWindowThread([this, Line] {
        const int end = GetWindowTextLengthW(M_Log);
        SendMessageW(M_Log, EM_SETSEL, end, end);
        const std::u16string text = (end > 0 ? u"\r\n" : u"") + Line;
        SendMessageW(M_Log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text)));
    });
}

std::u16string TMainForm::HintText() {
    std::u16string text;
    CallOnWindowThread([&] { text = lb_Hint->Text(); });
    return text;
}

std::u16string TMainForm::PercentText() {
    std::u16string text;
    CallOnWindowThread([&] { text = percent_; });
    return text;
}

bool TMainForm::PercentVisible() {
    bool visible = false;
    CallOnWindowThread([&] { visible = percentVisible_; });
    return visible;
}

std::u16string TMainForm::InstallDirText() {
    std::u16string text;
    CallOnWindowThread([&] {
        text.resize(GetWindowTextLengthW(Edt_InstallDir) + 1);
        text.resize(GetWindowTextW(Edt_InstallDir, reinterpret_cast<wchar_t*>(text.data()), int(text.size())));
    });
    return text;
}

void TMainForm::SetInstallDirText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { SetWindowTextW(Edt_InstallDir, Wide(Text)); });
}

void TMainForm::ShowAutoUpdatePage() {
    RunOnWindowThread([this] { autoUpdatePage_ = true; });
}

bool TMainForm::AutoUpdatePageActive() {
    bool active = false;
    CallOnWindowThread([&] { active = autoUpdatePage_; });
    return active;
}

void TMainForm::SetHint1(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { hint1_ = Text; });
}

std::u16string TMainForm::PackageFolderText() {
    std::u16string text;
    CallOnWindowThread([&] { text = packageFolder_; });
    return text;
}

void TMainForm::SetPackageFolderText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] { packageFolder_ = Text; });
}

void TMainForm::SetDownloadPageEnabled(bool Enabled) {
    RunOnWindowThread([this, Enabled] { downloadPageEnabled_ = Enabled; });
}

void TMainForm::PostToWindowThread(std::function<void()> Action) {
    auto* posted = new std::function<void()>(std::move(Action));
    if (!PostMessageW(hwnd_, WM_RUN_ACTION, 0, reinterpret_cast<LPARAM>(posted))) delete posted;
}

void TMainForm::EndMessageLoop(int Status) {
    // Posted, so that changes asked for before it are still applied.
    RunOnWindowThread([Status] { PostQuitMessage(Status); });
}

void TMainForm::ProcessMessages() {
    if (!OnWindowThread()) return;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(int(msg.wParam));  // kept for the message loop
            break;
        }
        if (TranslateDialogKey(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool TMainForm::TranslateDialogKey(MSG& Message) {
    // The system's dialog keys for the window and its children: Tab and
    // Shift+Tab move the focus, Enter and Escape become IDOK and IDCANCEL.
    return IsDialogMessageW(hwnd_, &Message) != FALSE;
}
