#include "app/win32/MainFrm.h"

#include "app/Texts.h"
#include "app/win32/Dialogs.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstdlib>

using namespace controls::win32;

namespace {

constexpr wchar_t kClassName[] = L"ZelvanoSetupMainForm";
constexpr UINT WM_RUN_ACTION = WM_APP + 10;   // lparam: a std::function<void()>* to run and delete
constexpr UINT WM_CALL_ACTION = WM_APP + 11;  // lparam: a const std::function<void()>* to run
constexpr int kWidth = 600, kHeight = 400;
constexpr int kTitleHeight = 40;
// The centre panel's corner in the window: margins left 2, top 0 below the title.
constexpr int kCenterX = 2, kCenterY = kTitleHeight;
constexpr int kCenterW = kWidth - 4, kCenterH = kHeight - kTitleHeight - 2;

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

// Positions on the centre panel, as the window's tables give them.
struct TPlace { int Left, Top; };
constexpr TPlace kImage2{165, 30}, kInstallPostion{31, 126}, kDownHit{30, 167}, kHint{114, 167},
    kProcessPostion{278, 209};
constexpr TPlace kImage1{30, 5}, kApplicationName{67, 8};

HFONT YaHei(int Pixels, bool Bold = false) { return CreatePixelFont(Wide(texts::SFontFace), Pixels, Bold); }

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
    fontTitle_ = YaHei(17);
    fontBold16_ = YaHei(16, true);
    font16_ = YaHei(16);
    font14_ = YaHei(14);

    // A popup window without caption or border; the system menu and the
    // minimise box let the taskbar and WM_SYSCOMMAND minimise it.
    RECT frame{0, 0, kWidth, kHeight};
    const DWORD style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&frame, style, FALSE, WS_EX_APPWINDOW);
    hwnd_ = CreateWindowExW(WS_EX_APPWINDOW, kClassName, Wide(texts::SWindowTitle), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                            GetModuleHandleW(nullptr), this);

    icon_ = TImage::FromResource(L"ICON_PNG");
    logo_ = TImage::FromResource(L"LOGO_PNG");
    ImageList = {TImage::FromResource(L"CLOSE_HOT_PNG"), TImage::FromResource(L"CLOSE_PNG"),
                 TImage::FromResource(L"MIN_HOT_PNG"), TImage::FromResource(L"MIN_PNG")};
    ImageList1 = {TImage::FromResource(L"INSTALL_PNG"), TImage::FromResource(L"INSTALL_HOT_PNG")};
    ImageList2 = {TImage::FromResource(L"CHANGE_PNG"), TImage::FromResource(L"CHANGE_HOT_PNG")};

    Edt_InstallDir = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL,
                                     kCenterX + 117, kCenterY + 123, 358, 29, hwnd_, nullptr,
                                     GetModuleHandleW(nullptr), nullptr);
    SendMessageW(Edt_InstallDir, WM_SETFONT, reinterpret_cast<WPARAM>(font16_), FALSE);
    EnableWindow(Edt_InstallDir, FALSE);

    G_Process = std::make_unique<TProgressGauge>(hwnd_);
    G_Process->SetBounds(kCenterX + 35, kCenterY + 239, 525, 15);
    G_Process->SetBorderStyle(controls::bsNone);
    G_Process->SetBackColor(13421772);
    G_Process->SetForeColor(11056130);
    G_Process->SetMaxValue(100);
    G_Process->SetProgress(40);
    G_Process->SetShowText(false);
    G_Process->SetSuffix(u"%");
    G_Process->SetFont(font16_);

    // The hidden page control's parts: the log box and the download page's
    // gauge exist, but the page is never shown.
    M_Log = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | ES_MULTILINE | ES_READONLY | WS_VSCROLL, kCenterX, kCenterY,
                            36, 33, hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
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

TMainForm::~TMainForm() {
    FBtn_Min.reset();
    FBtn_Close1.reset();
    FBtn_Install.reset();
    FBtn_ChangeDir.reset();
    G_Process.reset();
    G_DownLoad.reset();
    if (IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : {fontTitle_, fontBold16_, font16_, font14_}) DeleteObject(font);
}

void TMainForm::FormCreate() {
    appName_ = texts::SApplicationName;
    CreateImageButtons();
    G_Process->SetProgress(0);
    packageFolder_ = texts::SFileNameDefault;
    hint1_ = texts::SHint1Start;
    hint_ = texts::SHintReady;
    hintColor_ = app::kMidGrey;
    percent_ = texts::SPercentZero;
    ProcessMessages();
    const wchar_t* programFiles = _wgetenv(L"PROGRAMFILES");
    SetWindowTextW(Edt_InstallDir, programFiles ? programFiles : L"");
}

void TMainForm::CreateImageButtons() {
    struct ButtonRow {
        std::unique_ptr<TImageButton>& field;
        const char16_t* hint;
        const TImage& normal;
        const TImage& hot;
        std::function<void()>* click;
        TPlace at;
        controls::TColor background;
    };
    const ButtonRow rows[] = {
        {FBtn_Min, texts::SHintMin, ImageList[3], ImageList[2], nullptr, {504, 0}, app::kTeal},
        {FBtn_Close1, texts::SHintClose, ImageList[1], ImageList[0], &OnCloseClick, {542, 0}, app::kTeal},
        {FBtn_Install, texts::SHintInstall, ImageList1[0], ImageList1[1], &OnInstallClick,
         {kCenterX + 234, kCenterY + 282}, controls::clWhite},
        {FBtn_ChangeDir, texts::SHintChange, ImageList2[0], ImageList2[1], &OnChangeDirClick,
         {kCenterX + 494, kCenterY + 123}, controls::clWhite},
    };
    for (const ButtonRow& row : rows) {
        auto button = std::make_unique<TImageButton>(hwnd_, row.background);
        button->SetHint(row.hint);
        button->SetShowHint(true);
        if (&row.field == &FBtn_Install) button->SetBounds(row.at.Left, row.at.Top, 117, 44);
        else if (&row.field == &FBtn_ChangeDir) button->SetBounds(row.at.Left, row.at.Top, 74, 28);
        else button->SetBounds(row.at.Left, row.at.Top, 28, kTitleHeight);
        button->SetButtonStyle(controls::pbsFlat);
        button->DrawFaceOnMouseOver = controls::clGreen;
        button->DrawFaceOnPush = controls::clYellow;
        button->IsDrawFaceOnMouseOver = false;
        button->IsDrawBorderOnMouseOver = false;
        button->IsDrawBorderOnPush = false;
        button->IsDrawFaceOnPush = false;
        button->SetIsShowCaption(false);
        button->ImageNormalObject() = row.normal;
        button->ImageDownObject() = row.hot;
        button->ImageOverObject() = row.hot;
        if (row.click) {
            button->OnClick = [click = row.click](TImageButton*) {
                if (*click) (*click)();
            };
        } else {
            button->OnClick = [this](TImageButton*) { Btn_MinClick(); };
        }
        row.field = std::move(button);
    }
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

void TMainForm::InvalidateLabel(int Left, int Top, HFONT Font, const std::u16string& Text) {
    const RECT box = LabelBounds(Left, Top, Font, Text);
    InvalidateRect(hwnd_, &box, FALSE);
}

std::vector<TMainForm::TPart> TMainForm::WindowlessParts() {
    std::vector<TPart> parts = {
        {"pl_Title", {0, 0, kWidth, kTitleHeight}},
        {"pl_Center", {kCenterX, kCenterY, kCenterX + kCenterW, kCenterY + kCenterH}},
        {"Image1", {kImage1.Left, kImage1.Top, kImage1.Left + 30, kImage1.Top + 30}},
        {"Image2", {kCenterX + kImage2.Left, kCenterY + kImage2.Top, kCenterX + kImage2.Left + 230,
                    kCenterY + kImage2.Top + 60}},
        {"Lbl_ApplicationName", LabelBounds(kApplicationName.Left, kApplicationName.Top, fontTitle_, appName_, 23)},
        {"Lb_InstallPostion",
         LabelBounds(kCenterX + kInstallPostion.Left, kCenterY + kInstallPostion.Top, fontBold16_, texts::SInstallPosition)},
        {"Lb_DownHit", LabelBounds(kCenterX + kDownHit.Left, kCenterY + kDownHit.Top, font14_, texts::SDownHint)},
        {"lb_Hint", LabelBounds(kCenterX + kHint.Left, kCenterY + kHint.Top, font14_, HintText())},
    };
    if (PercentVisible()) {
        parts.push_back({"Lb_ProcessPostion", LabelBounds(kCenterX + kProcessPostion.Left,
                                                          kCenterY + kProcessPostion.Top, font16_, PercentText())});
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
    TOffscreen buffer(Target, kWidth, kHeight);
    HDC dc = buffer.Dc();
    // The teal window and title; the white centre panel leaves a 2-pixel frame.
    FillBox(dc, 0, 0, kWidth, kHeight, app::kTeal);
    FillBox(dc, kCenterX, kCenterY, kCenterW, kCenterH, controls::clWhite);
    icon_.Draw(dc, kImage1.Left, kImage1.Top, 30, 30);
    DrawLabel(dc, kApplicationName.Left, kApplicationName.Top, fontTitle_, controls::clWhite, appName_);
    logo_.Draw(dc, kCenterX + kImage2.Left, kCenterY + kImage2.Top, 230, 60);
    DrawLabel(dc, kCenterX + kInstallPostion.Left, kCenterY + kInstallPostion.Top, fontBold16_, app::kDarkGrey,
              texts::SInstallPosition);
    DrawLabel(dc, kCenterX + kDownHit.Left, kCenterY + kDownHit.Top, font14_, app::kMidGrey, texts::SDownHint);
    DrawLabel(dc, kCenterX + kHint.Left, kCenterY + kHint.Top, font14_, hintColor_, hint_);
    if (percentVisible_) {
        DrawLabel(dc, kCenterX + kProcessPostion.Left, kCenterY + kProcessPostion.Top, font16_, app::kDarkGrey,
                  percent_);
    }
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
            const RECT logo{kCenterX + kImage2.Left, kCenterY + kImage2.Top, kCenterX + kImage2.Left + 230,
                            kCenterY + kImage2.Top + 60};
            if (at.y < kTitleHeight || PtInRect(&logo, at)) Lbl_ApplicationNameMouseDown(message == WM_LBUTTONDOWN);
            return 0;
        }
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
        FBtn_Install->SetEnabled(row.Install);
        FBtn_ChangeDir->SetEnabled(row.Change);
        if (row.Percent == app::TStateRow::Reset) SetPercentText(texts::SPercentZero);
        SetPercentVisible(row.Percent == app::TStateRow::Shown);
    });
}

void TMainForm::SetHint(const std::u16string& Text) {
    RunOnWindowThread([this, Text] {
        InvalidateLabel(kCenterX + kHint.Left, kCenterY + kHint.Top, font14_, hint_);
        hint_ = Text;
        InvalidateLabel(kCenterX + kHint.Left, kCenterY + kHint.Top, font14_, hint_);
        UpdateWindow(hwnd_);
    });
}

void TMainForm::SetHintColor(controls::TColor Color) {
    RunOnWindowThread([this, Color] {
        hintColor_ = Color;
        InvalidateLabel(kCenterX + kHint.Left, kCenterY + kHint.Top, font14_, hint_);
    });
}

void TMainForm::SetPercentText(const std::u16string& Text) {
    RunOnWindowThread([this, Text] {
        InvalidateLabel(kCenterX + kProcessPostion.Left, kCenterY + kProcessPostion.Top, font16_, percent_);
        percent_ = Text;
        InvalidateLabel(kCenterX + kProcessPostion.Left, kCenterY + kProcessPostion.Top, font16_, percent_);
    });
}

void TMainForm::SetPercentVisible(bool Visible) {
    RunOnWindowThread([this, Visible] {
        percentVisible_ = Visible;
        InvalidateLabel(kCenterX + kProcessPostion.Left, kCenterY + kProcessPostion.Top, font16_, percent_);
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
    CallOnWindowThread([&] { text = hint_; });
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
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
