// The Win32 window read from the real window under Wine (with a display):
// the geometry of every control against the window's tables, the state
// table, the gauge's pixel cases, the image button's state machine, the
// keyboard (real key input), what the accessibility layer reads, and the
// layout at the system's DPI (the suite runs again in prefixes set to 144
// and 192 DPI). Pixels are read back from the screen, as the window shows them.
#include <winsock2.h>  // before windows.h

#include "app/win32/MainFrm.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <oleacc.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

RECT HintBounds(TMainForm& form) { return ChildBounds(form.Handle(), form.lb_Hint->Handle()); }

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
    // The edit box is read-only (enabled, so that it takes the keyboard
    // focus), and shows PROGRAMFILES.
    EXPECT_TRUE(IsWindowEnabled(form_->Edt_InstallDir));
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
        const RECT r = std::string(label.name) == "lb_Hint" ? HintBounds(*form_) : PartBounds(*form_, label.name);
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
    EXPECT_GT(CountNear(picture, HintBounds(*form_), kMidGrey), 60);
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
        EXPECT_GT(CountNear(picture, HintBounds(*form_), r.colour), 40) << n;
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

namespace {

// Real key input through the system's input queue, to the focused window.
void Key(WORD key, bool shift = false) {
    std::vector<INPUT> events;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT in{};
        in.type = INPUT_KEYBOARD;
        in.ki.wVk = vk;
        in.ki.dwFlags = flags;
        events.push_back(in);
    };
    if (shift) add(VK_SHIFT, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(UINT(events.size()), events.data(), sizeof(INPUT));
}

// Pixels of a button's left column of its focus cue (3 pixels in) that
// differ from its face colour.
int CueDots(TMainForm& form, HWND button, std::uint32_t face) {
    const RECT r = ChildBounds(form.Handle(), button);
    const TImage picture = form.Picture();
    int dots = 0;
    for (int y = r.top + 6; y < r.bottom - 6; ++y)
        if (picture.Rgb(r.left + 3, y) != face) ++dots;
    return dots;
}

// A loopback server that answers the update request with an archive address
// that does not exist, and notes every request line it receives.
class TUpdateServer {
public:
    TUpdateServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at);
        int size = sizeof at;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size);
        port_ = ntohs(at.sin_port);
        listen(listener_, 8);
        thread_ = std::thread([this] { Serve(); });
    }
    ~TUpdateServer() {
        closesocket(listener_);
        thread_.join();
        WSACleanup();
    }
    std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void Serve() {
        for (;;) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const int n = recv(client, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, size_t(n));
            }
            const std::string line = request.substr(0, request.find("\r\n"));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(line);
            }
            std::string reply;
            if (line.find(" /api/autodownload/student") != std::string::npos) {
                const std::string body = "{\"download_url\": \"" + Address() + "/missing/release.zip\"}";
                reply = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
            } else {
                reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            }
            send(client, reply.data(), int(reply.size()), 0);
            shutdown(client, SD_SEND);
            closesocket(client);
        }
    }

    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

}  // namespace

TEST_F(Window, TabMovesBetweenFolderBoxChangeAndInstallWithAFocusCue) {
    HWND folder = form_->Edt_InstallDir, change = form_->FBtn_ChangeDir->Handle(),
         install = form_->FBtn_Install->Handle();
    EXPECT_EQ(CueDots(*form_, install, kTeal), 0);
    const struct { bool shift; HWND expected; const char* name; } steps[] = {
        {false, folder, "folder box"}, {false, change, "Change"}, {false, install, "Install"},
        {false, folder, "folder box again"}, {true, install, "Install backwards"}, {true, change, "Change backwards"},
    };
    for (const auto& step : steps) {
        Key(VK_TAB, step.shift);
        Pump(*form_, 150);
        EXPECT_EQ(GetFocus(), step.expected) << step.name;
    }
    // Change has the focus: its dotted cue shows, Install's does not.
    EXPECT_GT(CueDots(*form_, change, kWhite), 5);
    EXPECT_EQ(CueDots(*form_, install, kTeal), 0);
    Key(VK_TAB);
    Pump(*form_, 150);
    EXPECT_GT(CueDots(*form_, install, kTeal), 5);
    EXPECT_EQ(CueDots(*form_, change, kWhite), 0);
    // The title-bar buttons are no stops.
    EXPECT_FALSE(GetWindowLongW(form_->FBtn_Close1->Handle(), GWL_STYLE) & WS_TABSTOP);
    EXPECT_FALSE(GetWindowLongW(form_->FBtn_Min->Handle(), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(Window, SpaceAndEnterPressTheFocusedButtonAndDisabledButtonsIgnoreKeys) {
    int changeClicks = 0;
    form_->OnChangeDirClick = [&] { ++changeClicks; };
    SetFocus(form_->FBtn_ChangeDir->Handle());
    Key(VK_SPACE);
    Pump(*form_, 150);
    EXPECT_EQ(changeClicks, 1);
    Key(VK_RETURN);
    Pump(*form_, 150);
    EXPECT_EQ(changeClicks, 2);
    SetFocus(form_->FBtn_Install->Handle());
    Key(VK_RETURN);
    Pump(*form_, 150);
    EXPECT_EQ(installClicks_, 1);
    Key(VK_SPACE);
    Pump(*form_, 150);
    EXPECT_EQ(installClicks_, 2);
    EXPECT_EQ(changeClicks, 2);

    // Asking the server: both buttons disabled; the focus leaves Install for
    // the folder box, where Enter now does nothing, and keys sent to the
    // disabled buttons themselves do nothing either.
    form_->SetWindowState(TWindowState::AskingServer);
    Pump(*form_, 150);
    EXPECT_EQ(GetFocus(), form_->Edt_InstallDir);
    Key(VK_RETURN);
    Pump(*form_, 150);
    for (TImageButton* button : {form_->FBtn_Install.get(), form_->FBtn_ChangeDir.get()})
        for (WPARAM key : {WPARAM(VK_SPACE), WPARAM(VK_RETURN)}) SendMessageW(button->Handle(), WM_KEYDOWN, key, 1);
    Pump(*form_, 150);
    EXPECT_EQ(installClicks_, 2);
    EXPECT_EQ(changeClicks, 2);
    // Tab skips the disabled buttons.
    Key(VK_TAB);
    Pump(*form_, 150);
    EXPECT_EQ(GetFocus(), form_->Edt_InstallDir);
}

TEST_F(Window, EnterInTheFolderBoxStartsAnInstallationAgainstTheServer) {
    TUpdateServer server;
    SetEnvironmentVariableA("ZELVANO_UPDATE_SERVER", server.Address().c_str());
    form_->OnInstallClick = [this] { form_->Btn_InstallClick(form_->FBtn_Install.get()); };
    Key(VK_TAB);
    Pump(*form_, 150);
    ASSERT_EQ(GetFocus(), form_->Edt_InstallDir);
    Key(VK_RETURN);
    // The reply names an archive without a signed release statement: the
    // installation that Enter started ends refused, before any download.
    const std::u16string refused = u"安装包签名校验失败，请重新安装 . . . ";
    const DWORD until = GetTickCount() + 15000;
    while (form_->HintText() != refused && GetTickCount() < until) Pump(*form_, 50);
    EXPECT_EQ(form_->HintText(), refused);
    const std::vector<std::string> requests = server.Requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.front(), "GET /api/autodownload/student HTTP/1.1");
    SetEnvironmentVariableA("ZELVANO_UPDATE_SERVER", nullptr);
}

TEST_F(Window, EscapeRunsTheCloseFlow) {
    // The close flow ends the message loop with status 0.
    Key(VK_TAB);
    Pump(*form_, 150);
    Key(VK_ESCAPE);
    Pump(*form_, 200);
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 0u);
    // Also with a button focused.
    int closes = 0;
    form_->OnCloseClick = [&] { ++closes; };
    SetFocus(form_->FBtn_Install->Handle());
    Key(VK_ESCAPE);
    Pump(*form_, 200);
    EXPECT_EQ(closes, 1);
}

namespace {

struct TAccessibleRead {
    long role = 0, state = 0;
    std::u16string name, value, description;
    HRESULT found = E_FAIL;
};

std::u16string Take(BSTR text) {
    std::u16string out = text ? std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text)) : u"";
    SysFreeString(text);
    return out;
}

// What the system's accessibility interface reports for a window's client.
TAccessibleRead ReadAccessible(HWND window, IAccessible** keep = nullptr) {
    TAccessibleRead read;
    IAccessible* object = nullptr;
    read.found = AccessibleObjectFromWindow(window, DWORD(OBJID_CLIENT), __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object));
    if (FAILED(read.found) || !object) return read;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT v;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accRole(self, &v)) && v.vt == VT_I4) read.role = v.lVal;
    VariantInit(&v);
    if (SUCCEEDED(object->get_accState(self, &v)) && v.vt == VT_I4) read.state = v.lVal;
    BSTR text = nullptr;
    if (object->get_accName(self, &text) == S_OK) read.name = Take(text);
    text = nullptr;
    if (object->get_accValue(self, &text) == S_OK) read.value = Take(text);
    text = nullptr;
    if (object->get_accDescription(self, &text) == S_OK) read.description = Take(text);
    if (keep) *keep = object;
    else object->Release();
    return read;
}

}  // namespace

TEST_F(Window, ScreenReadersReadNamesRolesAndStates) {
    struct Row { const char* what; HWND window; long role; const char16_t* name; };
    const Row rows[] = {
        {"Install", form_->FBtn_Install->Handle(), ROLE_SYSTEM_PUSHBUTTON, u"安装"},
        {"Change", form_->FBtn_ChangeDir->Handle(), ROLE_SYSTEM_PUSHBUTTON, u"更改"},
        {"close", form_->FBtn_Close1->Handle(), ROLE_SYSTEM_PUSHBUTTON, u"关闭"},
        {"minimise", form_->FBtn_Min->Handle(), ROLE_SYSTEM_PUSHBUTTON, u"最小化"},
        {"gauge", form_->G_Process->Handle(), ROLE_SYSTEM_PROGRESSBAR, u"安装进度"},
        {"hint line", form_->lb_Hint->Handle(), ROLE_SYSTEM_STATICTEXT,
         u"请选择好安装目录，点击『安装』按钮进行程序安装 . . . "},
    };
    for (const Row& row : rows) {
        const TAccessibleRead read = ReadAccessible(row.window);
        ASSERT_EQ(read.found, S_OK) << row.what;
        EXPECT_EQ(read.role, row.role) << row.what;
        EXPECT_EQ(read.name, row.name) << row.what;
        EXPECT_FALSE(read.state & STATE_SYSTEM_UNAVAILABLE) << row.what;
    }
    EXPECT_EQ(ReadAccessible(form_->lb_Hint->Handle()).description, u"安装提示");
    EXPECT_TRUE(ReadAccessible(form_->FBtn_Install->Handle()).state & STATE_SYSTEM_FOCUSABLE);
    // The gauge's value follows the progress.
    form_->G_Process->SetProgress(40);
    EXPECT_EQ(ReadAccessible(form_->G_Process->Handle()).value, u"40%");
    // States: a disabled button is unavailable, the focused one focused; the
    // hint line names the new hint.
    form_->SetWindowState(TWindowState::NetworkFailure);
    form_->SetWindowState(TWindowState::InstallFailed);
    Pump(*form_);
    SetFocus(form_->FBtn_Install->Handle());
    EXPECT_TRUE(ReadAccessible(form_->FBtn_ChangeDir->Handle()).state & STATE_SYSTEM_UNAVAILABLE);
    EXPECT_FALSE(ReadAccessible(form_->FBtn_ChangeDir->Handle()).state & STATE_SYSTEM_FOCUSABLE);
    EXPECT_TRUE(ReadAccessible(form_->FBtn_Install->Handle()).state & STATE_SYSTEM_FOCUSED);
    EXPECT_EQ(ReadAccessible(form_->lb_Hint->Handle()).name, u"安装应用程序失败，请重新安装 . . . ");
    // The default action presses the button, not while it is disabled.
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    int changeClicks = 0;
    form_->OnChangeDirClick = [&] { ++changeClicks; };
    for (HWND button : {form_->FBtn_Install->Handle(), form_->FBtn_ChangeDir->Handle()}) {
        IAccessible* object = nullptr;
        ReadAccessible(button, &object);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->accDoDefaultAction(self), S_OK);
        object->Release();
    }
    Pump(*form_);
    EXPECT_EQ(installClicks_, 1);
    EXPECT_EQ(changeClicks, 0);
}

namespace {

// The system's DPI, as the window is told it.
int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// Every rectangle of the 96-DPI layout, scaled to Dpi (within two pixels),
// and the pictures drawn from the artwork at that scale, pixel for pixel.
void ExpectLayoutAt(TMainForm& form, int dpi) {
    const double f = dpi / 96.0;
    auto expectScaled = [&](const RECT& got, const RECT& at96, const std::string& what) {
        EXPECT_NEAR(got.left, at96.left * f, 2) << what;
        EXPECT_NEAR(got.top, at96.top * f, 2) << what;
        EXPECT_NEAR(got.right, at96.right * f, 2) << what;
        EXPECT_NEAR(got.bottom, at96.bottom * f, 2) << what;
    };
    HWND hwnd = form.Handle();
    // The pointer away from the buttons, so that each shows its normal image.
    SetCursorPos(0, 0);
    Pump(form, 100);
    RECT client;
    GetClientRect(hwnd, &client);
    expectScaled(client, {0, 0, 600, 400}, "client area");
    const struct { const char* name; HWND child; RECT at96; } children[] = {
        {"FBtn_Min", form.FBtn_Min->Handle(), {504, 0, 532, 40}},
        {"FBtn_Close1", form.FBtn_Close1->Handle(), {542, 0, 570, 40}},
        {"Edt_InstallDir", form.Edt_InstallDir, {119, 163, 477, 192}},
        {"FBtn_ChangeDir", form.FBtn_ChangeDir->Handle(), {496, 163, 570, 191}},
        {"G_Process", form.G_Process->Handle(), {37, 279, 562, 294}},
        {"FBtn_Install", form.FBtn_Install->Handle(), {236, 322, 353, 366}},
    };
    for (const auto& c : children) expectScaled(ChildBounds(hwnd, c.child), c.at96, c.name);
    const struct { const char* name; RECT at96; } parts[] = {
        {"pl_Title", {0, 0, 600, 40}}, {"pl_Center", {2, 40, 598, 398}},
        {"Image1", {30, 5, 60, 35}},   {"Image2", {167, 70, 397, 130}},
    };
    for (const auto& p : parts) expectScaled(PartBounds(form, p.name), p.at96, p.name);
    // Texts in fonts of the scaled pixel heights: the title label is 23
    // pixels high at 96 DPI, the hint line one line of a 14-pixel font.
    const RECT hint = HintBounds(form);
    EXPECT_NEAR(hint.left, 116 * f, 2);
    EXPECT_NEAR(hint.top, 207 * f, 2);
    EXPECT_GE(hint.bottom - hint.top, 14 * f - 1);
    EXPECT_LE(hint.bottom - hint.top, 24 * f);

    const TImage picture = form.Picture();
    ASSERT_EQ(picture.Width(), client.right);
    EXPECT_EQ(picture.Rgb(0, client.bottom / 2), kTeal);
    EXPECT_EQ(picture.Rgb(int(f * 2) - 1, client.bottom / 2), kTeal);   // the frame, scaled
    EXPECT_EQ(picture.Rgb(int(f * 2) + 1, client.bottom / 2), kWhite);
    EXPECT_GT(CountNear(picture, hint, kMidGrey), int(60 * f * f));
    // The Install button shows its artwork 1:1 (sharp), not stretched.
    const RECT install = ChildBounds(hwnd, form.FBtn_Install->Handle());
    const TImage& art = form.FBtn_Install->ImageNormal();
    ASSERT_EQ(art.Width(), install.right - install.left);
    ASSERT_EQ(art.Height(), install.bottom - install.top);
    long difference = 0;
    for (int y = 0; y < art.Height(); ++y)
        for (int x = 0; x < art.Width(); ++x) {
            const std::uint32_t a = art.Row(y)[x], shown = picture.Rgb(install.left + x, install.top + y);
            const int alpha = int(a >> 24);
            for (int shift : {0, 8, 16}) {
                const int expected = (int((a >> shift) & 0xFF) * alpha + 255 * (255 - alpha)) / 255;  // over white
                difference += std::abs(expected - int((shown >> shift) & 0xFF));
            }
        }
    EXPECT_LT(double(difference) / (art.Width() * art.Height() * 3), 2.0);
}

}  // namespace

TEST_F(Window, LaysItselfOutAtTheSystemDpi) {
    const int dpi = SystemDpi();
    if (const char* expected = std::getenv("ZELVANO_TEST_DPI")) {
        EXPECT_EQ(dpi, std::atoi(expected));
    }
    EXPECT_EQ(int(form_->Dpi()), dpi);
    ExpectLayoutAt(*form_, dpi);
    // Centred on the work area at its scaled size.
    RECT area, window;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(form_->Handle(), &window);
    EXPECT_NEAR(window.left - area.left, (area.right - area.left - (window.right - window.left)) / 2, 1);
    // The artwork was drawn for 100, 150 and 200 %.
    const int width = dpi == 96 ? 117 : dpi == 144 ? 176 : dpi == 192 ? 234 : 0;
    if (width) {
        EXPECT_EQ(form_->FBtn_Install->ImageNormal().Width(), width);
    }
}

TEST_F(Window, RescalesWhenMovedToAMonitorOfAnotherDpi) {
    const int start = SystemDpi();
    for (const int dpi : {192, 144, 120, start}) {
        RECT suggested{40, 30, 40 + MulDiv(600, dpi, 96), 30 + MulDiv(400, dpi, 96)};
        SendMessageW(form_->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        Pump(*form_, 200);
        SCOPED_TRACE(dpi);
        EXPECT_EQ(int(form_->Dpi()), dpi);
        RECT moved;
        GetWindowRect(form_->Handle(), &moved);
        EXPECT_EQ(moved.left, suggested.left);
        EXPECT_EQ(moved.top, suggested.top);
        ExpectLayoutAt(*form_, dpi);
    }
}

TEST(Artwork, ResampledOverPremultipliedPixelsAndCloseToTheDrawnScale) {
    // Shrinking blends neighbours by their alpha: transparent pixels add no
    // colour of their own (here red), so the black stays black, half covered.
    const TImage row(4, 1, {0xFF000000u, 0x00FF0000u, 0xFF000000u, 0x00FF0000u});
    const TImage half = row.Scaled(2, 1);
    ASSERT_EQ(half.Width(), 2);
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(half.Rgb(x, 0), 0x000000u) << x;
        EXPECT_GT(int(half.Row(0)[x] >> 24), 64) << x;
        EXPECT_LT(int(half.Row(0)[x] >> 24), 192) << x;
    }
    // The 200 % logo shrunk to 150 % is close to the logo drawn for 150 %.
    const TImage drawn = TImage::FromResource(L"LOGO_150_PNG");
    const TImage shrunk = TImage::FromResource(L"LOGO_200_PNG").Scaled(drawn.Width(), drawn.Height());
    ASSERT_FALSE(drawn.Empty());
    ASSERT_EQ(shrunk.Width(), drawn.Width());
    long difference = 0;
    for (int y = 0; y < drawn.Height(); ++y)
        for (int x = 0; x < drawn.Width(); ++x)
            for (int shift : {0, 8, 16, 24})
                difference += std::abs(int((drawn.Row(y)[x] >> shift) & 0xFF) - int((shrunk.Row(y)[x] >> shift) & 0xFF));
    EXPECT_LT(double(difference) / (drawn.Width() * drawn.Height() * 4), 8.0);
}

int main(int argc, char** argv) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // WIC decodes the artwork
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
