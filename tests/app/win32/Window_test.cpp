// The Win32 window read from the real window under Wine (with a display):
// the geometry of every control against the window's tables, the state
// table, the gauge's pixel cases and the image button's state machine.
// Pixels are read back from the screen, as the window shows them.
#include "app/win32/MainFrm.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

using namespace controls::win32;

namespace {

constexpr std::uint32_t kTeal = 0x02B4A8, kWhite = 0xFFFFFF, kGrey = 0xCCCCCC, kRed = 0xDD4B39, kMidGrey = 0x666666;

// Lets the window's thread paint what is pending.
void Pump(TMainForm& form, int Milliseconds = 50) {
    const DWORD until = GetTickCount() + DWORD(Milliseconds);
    do {
        form.ProcessMessages();
        Sleep(5);
    } while (GetTickCount() < until);
}

RECT ChildBounds(HWND parent, HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
           std::to_string(r.bottom - r.top);
}

// How many pixels of the rectangle have a colour near Color.
int CountNear(const TImage& picture, const RECT& r, std::uint32_t color, int tolerance = 24) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x) {
            const std::uint32_t p = picture.Rgb(x, y);
            const int dr = int((p >> 16) & 0xFF) - int((color >> 16) & 0xFF);
            const int dg = int((p >> 8) & 0xFF) - int((color >> 8) & 0xFF);
            const int db = int(p & 0xFF) - int(color & 0xFF);
            if (std::abs(dr) <= tolerance && std::abs(dg) <= tolerance && std::abs(db) <= tolerance) ++n;
        }
    return n;
}

RECT PartBounds(TMainForm& form, const char* name) {
    for (const auto& part : form.WindowlessParts())
        if (std::string(part.Name) == name) return part.Bounds;
    ADD_FAILURE() << "no part " << name;
    return {};
}

class Window : public testing::Test {
protected:
    void SetUp() override {
        form_ = std::make_unique<TMainForm>();
        form_->OnInstallClick = [this] { ++installClicks_; };
        form_->Show();
        SetForegroundWindow(form_->Handle());
        Pump(*form_, 300);
    }
    std::unique_ptr<TMainForm> form_;
    int installClicks_ = 0;
};

}  // namespace

TEST_F(Window, BorderlessSixHundredByFourHundredWithTitle) {
    HWND hwnd = form_->Handle();
    RECT client, window;
    GetClientRect(hwnd, &client);
    GetWindowRect(hwnd, &window);
    EXPECT_EQ(client.right, 600);
    EXPECT_EQ(client.bottom, 400);
    EXPECT_EQ(window.right - window.left, 600);  // no border
    EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0);
    wchar_t title[64] = L"";
    GetWindowTextW(hwnd, title, 64);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(title)), u"Zelvanoviz-自动更新服务");
    // Centred on the work area.
    RECT area;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_NEAR(window.left - area.left, (area.right - area.left - 600) / 2, 1);
    EXPECT_NEAR(window.top - area.top, (area.bottom - area.top - 400) / 2, 1);
}

TEST_F(Window, EveryControlAtItsPlace) {
    HWND hwnd = form_->Handle();
    struct Row { const char* name; HWND child; RECT bounds; };
    // Centre-panel positions are offset by the panel's corner (2, 40).
    const Row rows[] = {
        {"FBtn_Min", form_->FBtn_Min->Handle(), {504, 0, 532, 40}},
        {"FBtn_Close1", form_->FBtn_Close1->Handle(), {542, 0, 570, 40}},
        {"Edt_InstallDir", form_->Edt_InstallDir, {119, 163, 477, 192}},
        {"FBtn_ChangeDir", form_->FBtn_ChangeDir->Handle(), {496, 163, 570, 191}},
        {"G_Process", form_->G_Process->Handle(), {37, 279, 562, 294}},
        {"FBtn_Install", form_->FBtn_Install->Handle(), {236, 322, 353, 366}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Describe(ChildBounds(hwnd, row.child)), Describe(row.bounds)) << row.name;
        EXPECT_TRUE(IsWindowVisible(row.child)) << row.name;
    }
    EXPECT_FALSE(IsWindowVisible(form_->M_Log));
    EXPECT_FALSE(IsWindowVisible(form_->G_DownLoad->Handle()));
    // The edit box is disabled and read-only, and shows PROGRAMFILES.
    EXPECT_FALSE(IsWindowEnabled(form_->Edt_InstallDir));
    EXPECT_TRUE(GetWindowLongW(form_->Edt_InstallDir, GWL_STYLE) & ES_READONLY);
    const wchar_t* programFiles = _wgetenv(L"PROGRAMFILES");
    EXPECT_EQ(form_->InstallDirText(), std::u16string(reinterpret_cast<const char16_t*>(programFiles ? programFiles : L"")));

    const struct { const char* name; RECT bounds; } parts[] = {
        {"pl_Title", {0, 0, 600, 40}}, {"pl_Center", {2, 40, 598, 398}},
        {"Image1", {30, 5, 60, 35}},   {"Image2", {167, 70, 397, 130}},
    };
    for (const auto& part : parts) EXPECT_EQ(Describe(PartBounds(*form_, part.name)), Describe(part.bounds)) << part.name;
    // Labels start at their places; the title label is 23 high.
    struct { const char* name; int left, top; } labels[] = {
        {"Lbl_ApplicationName", 67, 8}, {"Lb_InstallPostion", 33, 166}, {"Lb_DownHit", 32, 207}, {"lb_Hint", 116, 207}};
    for (const auto& label : labels) {
        const RECT r = PartBounds(*form_, label.name);
        EXPECT_EQ(r.left, label.left) << label.name;
        EXPECT_EQ(r.top, label.top) << label.name;
        EXPECT_GT(r.right - r.left, 20) << label.name;
    }
    EXPECT_EQ(PartBounds(*form_, "Lbl_ApplicationName").bottom, 8 + 23);
}

TEST_F(Window, PaintsFrameColoursAndTexts) {
    const TImage picture = form_->Picture();
    ASSERT_EQ(picture.Width(), 600);
    // The teal title and 2-pixel frame around the white centre panel.
    EXPECT_EQ(picture.Rgb(5, 5), kTeal);
    EXPECT_EQ(picture.Rgb(0, 200), kTeal);
    EXPECT_EQ(picture.Rgb(1, 399), kTeal);
    EXPECT_EQ(picture.Rgb(598, 200), kTeal);
    EXPECT_EQ(picture.Rgb(2, 41), kWhite);
    EXPECT_EQ(picture.Rgb(597, 397), kWhite);
    // Texts render: white title glyphs on teal, dark grey and mid grey labels.
    EXPECT_GT(CountNear(picture, PartBounds(*form_, "Lbl_ApplicationName"), kWhite, 8), 40);
    EXPECT_GT(CountNear(picture, PartBounds(*form_, "Lb_InstallPostion"), 0x333333), 30);
    EXPECT_GT(CountNear(picture, PartBounds(*form_, "lb_Hint"), kMidGrey), 60);
    // The gauge at rest is all grey; the buttons show their artwork.
    EXPECT_EQ(picture.Rgb(37, 280), kGrey);
    EXPECT_EQ(picture.Rgb(561, 293), kGrey);
    EXPECT_EQ(picture.Rgb(240, 325), kTeal);  // Install: white word on teal
    EXPECT_EQ(picture.Rgb(496 + 37, 163), kTeal);  // Change: 1-pixel teal frame
}

TEST_F(Window, StateTable) {
    struct Row {
        TWindowState state;
        const char16_t* hint;
        std::uint32_t colour;
        bool install, change, percentShown;
    };
    const Row rows[] = {
        {TWindowState::AskingServer, u"正在安装，请稍后 . . .", kMidGrey, false, false, false},
        {TWindowState::Downloading, u"正在下载最新的应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::Installing, u"正在安装应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::InstallFailed, u"安装应用程序失败，请重新安装 . . . ", kMidGrey, true, false, true},
        {TWindowState::StartingClient, u"正在启动应用程序，请稍等 . . . ", kMidGrey, false, false, true},
        {TWindowState::NetworkFailure, u"网络断开安装失败 ，请重新安装 . . .", kRed, true, true, false},
        {TWindowState::AskingServer, u"正在安装，请稍后 . . .", kMidGrey, false, false, false},
        {TWindowState::Ready, u"请选择好安装目录，点击『安装』按钮进行程序安装 . . . ", kMidGrey, true, true, false},
    };
    for (const Row& r : rows) {
        form_->SetPercentText(u"57%");
        form_->SetWindowState(r.state);
        Pump(*form_);
        const int n = int(&r - rows);
        EXPECT_EQ(form_->HintText(), r.hint) << n;
        EXPECT_EQ(IsWindowEnabled(form_->FBtn_Install->Handle()) != FALSE, r.install) << n;
        EXPECT_EQ(IsWindowEnabled(form_->FBtn_ChangeDir->Handle()) != FALSE, r.change) << n;
        EXPECT_EQ(form_->FBtn_Install->ButtonState(), r.install ? controls::pbsNormal : controls::pbsDisabled) << n;
        EXPECT_EQ(form_->PercentVisible(), r.percentShown) << n;
        EXPECT_EQ(form_->PercentText(), r.state == TWindowState::NetworkFailure ? u"0%" : u"57%") << n;
        const TImage picture = form_->Picture();
        EXPECT_GT(CountNear(picture, PartBounds(*form_, "lb_Hint"), r.colour), 40) << n;
        // The percent label is painted only while shown.
        const RECT percent{280, 249, 330, 275};
        EXPECT_EQ(CountNear(picture, percent, 0x333333) > 10, r.percentShown) << n;
    }
}

TEST_F(Window, ProcessGaugeAtFortyPercent) {
    form_->G_Process->SetProgress(40);
    Pump(*form_);
    const TImage picture = form_->Picture();
    // 526 x 0.4 = 210.4: columns 0 to 209 in the bar colour over all rows.
    for (int y = 279; y < 294; ++y) {
        EXPECT_EQ(picture.Rgb(37 + 0, y), kTeal) << y;
        EXPECT_EQ(picture.Rgb(37 + 209, y), kTeal) << y;
        EXPECT_EQ(picture.Rgb(37 + 210, y), kGrey) << y;
        EXPECT_EQ(picture.Rgb(37 + 524, y), kGrey) << y;
    }
}

TEST_F(Window, GaugeRepaintsOnlyOnAPercentageChange) {
    TProgressGauge& g = *form_->G_Process;
    g.SetMaxValue(1000000);
    Pump(*form_);
    const int before = g.Paints();
    int changes = 0;
    g.OnChange = [&](TProgressGauge*) { ++changes; };
    g.SetProgress(1001);
    g.SetProgress(1002);
    g.SetProgress(1002);
    Pump(*form_);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(g.Paints(), before);
    g.SetProgress(20000);  // 2 %
    EXPECT_EQ(g.Paints(), before + 1);  // at once, before the setter returns
}

TEST_F(Window, DownloadGaugeAtHundredWithBorderAndInvertedText) {
    // The download page's gauge, shown here in place of the install page's.
    TProgressGauge& g = *form_->G_DownLoad;
    SetParent(g.Handle(), form_->Handle());
    g.SetBounds(20, 300, 455, 25);
    ShowWindow(g.Handle(), SW_SHOW);
    HFONT font = CreatePixelFont(L"微软雅黑", 16);
    g.SetFont(font);
    g.SetProgress(100);
    Pump(*form_);
    const TImage picture = form_->Picture();
    // A 1-pixel black border, the bar black inside (ForeColor black), and the
    // text 100% in white (the inverse of black) in the middle.
    EXPECT_EQ(picture.Rgb(20, 300), 0u);
    EXPECT_EQ(picture.Rgb(20 + 454, 300 + 24), 0u);
    EXPECT_EQ(picture.Rgb(22, 302), 0u);
    const RECT middle{20 + 180, 300 + 2, 20 + 275, 300 + 23};
    EXPECT_GT(CountNear(picture, middle, kWhite, 8), 30);
    const RECT left{21, 301, 21 + 150, 300 + 24};
    EXPECT_EQ(CountNear(picture, left, kWhite, 8), 0);
    DeleteObject(font);
}

namespace {

LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

// Real mouse input through the system's input queue: the pointer moves to a
// point of the window, buttons go down and up where the pointer is.
void MouseTo(HWND window, int x, int y) {
    POINT p{x, y};
    ClientToScreen(window, &p);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = LONG(p.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1));
    in.mi.dy = LONG(p.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1));
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof in);
}

void MouseButton(DWORD flags) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

}  // namespace

TEST_F(Window, ImageButtonStateMachine) {
    TImageButton& b = *form_->FBtn_Install;
    HWND w = form_->Handle();
    int enters = 0, exits = 0;
    b.OnMouseEnter = [&](TImageButton*) { ++enters; };
    b.OnMouseExit = [&](TImageButton*) { ++exits; };
    auto step = [&] { Pump(*form_, 150); };
    auto shown = [&] { return form_->Picture().Rgb(236 + 3, 322 + 3); };  // inside the face
    const int inX = 236 + 50, inY = 322 + 20, outX = 100, outY = 340;
    MouseTo(w, outX, outY);
    step();
    EXPECT_EQ(shown(), kTeal);
    // Pointer in: the hover image (dark teal).
    MouseTo(w, inX, inY);
    step();
    EXPECT_TRUE(b.IsMouseOver());
    EXPECT_EQ(shown(), 0x019B91u);
    // Press, drag off, release outside: no click; the normal image while off.
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    step();
    EXPECT_EQ(b.ButtonState(), controls::pbsDown);
    EXPECT_EQ(GetCapture(), b.Handle());
    EXPECT_EQ(shown(), 0x019B91u);
    MouseTo(w, outX, outY);
    step();
    EXPECT_FALSE(b.IsMouseOver());
    EXPECT_EQ(b.ButtonState(), controls::pbsDown);
    EXPECT_EQ(shown(), kTeal);
    MouseButton(MOUSEEVENTF_LEFTUP);
    step();
    EXPECT_EQ(installClicks_, 0);
    EXPECT_EQ(b.ButtonState(), controls::pbsNormal);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(exits, 1);
    // Press and release over the button: one click.
    MouseTo(w, inX, inY);
    step();
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    step();
    MouseButton(MOUSEEVENTF_LEFTUP);
    step();
    EXPECT_EQ(installClicks_, 1);
    EXPECT_EQ(shown(), 0x019B91u);
    // The right button neither presses nor clicks.
    MouseButton(MOUSEEVENTF_RIGHTDOWN);
    step();
    EXPECT_EQ(b.ButtonState(), controls::pbsNormal);
    MouseButton(MOUSEEVENTF_RIGHTUP);
    step();
    EXPECT_EQ(installClicks_, 1);
    // Disabled while hovered: faded to a third over white, presses ignored.
    b.SetEnabled(false);
    step();
    EXPECT_EQ(b.ButtonState(), controls::pbsDisabled);
    const std::uint32_t faded = shown();
    EXPECT_NEAR(int((faded >> 16) & 0xFF), 0x02 * 85 / 255 + 255 * 170 / 255, 3);
    EXPECT_NEAR(int(faded & 0xFF), 0xA8 * 85 / 255 + 255 * 170 / 255, 3);
    MouseButton(MOUSEEVENTF_LEFTDOWN);
    step();
    MouseButton(MOUSEEVENTF_LEFTUP);
    step();
    EXPECT_EQ(b.ButtonState(), controls::pbsDisabled);
    EXPECT_EQ(installClicks_, 1);
    // Leaving while disabled is ignored: enabled again, the hover image shows
    // until the pointer next enters and leaves.
    MouseTo(w, outX, outY);
    step();
    EXPECT_TRUE(b.IsMouseOver());
    b.SetEnabled(true);
    step();
    EXPECT_EQ(shown(), 0x019B91u);
    const int exitsBefore = exits;
    MouseTo(w, inX + 5, inY);
    step();
    MouseTo(w, outX, outY);
    Pump(*form_, 600);
    EXPECT_EQ(exits, exitsBefore + 1);
    EXPECT_FALSE(b.IsMouseOver());
    EXPECT_EQ(shown(), kTeal);
}

TEST_F(Window, OnlyTheLeftButtonDragsAndMinimiseMinimises) {
    HWND hwnd = form_->Handle();
    RECT before, after;
    GetWindowRect(hwnd, &before);
    for (UINT message : {WM_RBUTTONDOWN, WM_MBUTTONDOWN}) {
        SendMessageW(hwnd, message, 0, At(200, 20));  // the title bar
        SendMessageW(hwnd, message, 0, At(250, 100));  // the logo
    }
    Pump(*form_);
    GetWindowRect(hwnd, &after);
    EXPECT_EQ(Describe(after), Describe(before));

    HWND minimise = form_->FBtn_Min->Handle();
    SendMessageW(minimise, WM_MOUSEMOVE, 0, At(5, 5));
    SendMessageW(minimise, WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageW(minimise, WM_LBUTTONUP, 0, At(5, 5));
    Pump(*form_, 300);
    EXPECT_TRUE(IsIconic(hwnd));
}

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // WIC decodes the artwork
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
