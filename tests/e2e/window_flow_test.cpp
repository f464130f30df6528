// The window's flows driven in this process: what the window shows in the
// failure states, the close button during a download, the hidden download
// page, and the file search and work folder the flows share.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <thread>

#include "app/Cleanup.h"
#include "app/Dialogs.h"
#include "app/ReleaseStatement.h"
#include "app/qt/MainFrm.h"
#include "app/ServerAddresses.h"
#include "platform/codepage.h"
#include "platform/shell.h"
#include "tests/e2e/e2e_support.h"

using namespace e2e;
using platform::TextToUtf8;
using platform::Utf8ToText;

namespace {

std::u16string T(const fs::path& p) { return Utf8ToText(p.string()); }
std::string S(const QString& q) { return q.toStdString(); }

bool PumpUntil(const std::function<bool()>& done, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QCoreApplication::processEvents();
    return true;
}

// Runs the message loop until the program ends it (or `seconds` pass).
bool RunMessageLoop(double seconds) {
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    guard.start(static_cast<int>(seconds * 1000));
    QCoreApplication::exec();
    return !timedOut;
}

// The environment of one in-process installation below `root`.
void UseRoot(const TInstallRoot& root, const std::string& server) {
    setenv("PROGRAMFILES", root.ProgramFiles().c_str(), 1);
    setenv("ZELVANO_REGISTRY_DIR", root.Registry().c_str(), 1);
    setenv("ZELVANO_DESKTOP_DIR", root.Desktop().c_str(), 1);
    setenv("ZELVANO_UPDATE_SERVER", server.c_str(), 1);
    setenv("ZELVANO_TEST_UPDATE_SERVER", server.c_str(), 1);
    unsetenv("ZELVANO_WINDOWS_VERSION");
    dialogs::SetUnattended(true);
    release::SetTrust({Slurp(ZELVANO_DEMO_PUBLIC_KEY), "zelvano-student", ""});
}

QColor HintColour(TMainForm& form) { return form.lb_Hint->palette().color(QPalette::WindowText); }

}  // namespace

TEST(WindowFlow, NetworkFailureStateShowsEverywhere) {
    enum Failure { DeadServer, UnclosedObject, NoTlsOnHttpsServer };
    for (Failure failure : {DeadServer, UnclosedObject, NoTlsOnHttpsServer}) {
        SCOPED_TRACE(failure == DeadServer ? "dead server" : failure == UnclosedObject ? "unclosed object" : "no TLS");
        TInstallRoot root;
        root.Serve(ZELVANO_DEMO_ARCHIVE, R"({"download_url":"%URL%")");
        std::string server = root.Nginx().BaseURL();
        if (failure == DeadServer) server = "http://127.0.0.1:" + std::to_string(FreePort());
        // An https address whose server speaks plain http: the handshake fails.
        if (failure == NoTlsOnHttpsServer) server = "https://127.0.0.1:" + std::to_string(root.Nginx().Port());
        UseRoot(root, server);
        TMainForm form;
        form.show();
        form.G_Process->SetProgress(40);
        form.Lb_ProcessPostion->setText("40%");
        form.Lb_ProcessPostion->show();
        form.Btn_InstallClick(form.FBtn_Install);
        PumpUntil([&] { return form.FBtn_Install->isEnabled(); }, 5);
        EXPECT_EQ(S(form.lb_Hint->text()), "网络断开安装失败 ，请重新安装 . . .");
        EXPECT_EQ(HintColour(form), QColor(0xDD, 0x4B, 0x39));
        EXPECT_TRUE(form.FBtn_Install->isEnabled());
        EXPECT_TRUE(form.FBtn_ChangeDir->isEnabled());
        EXPECT_FALSE(form.Lb_ProcessPostion->isVisible());
        EXPECT_EQ(S(form.Lb_ProcessPostion->text()), "0%");
        EXPECT_EQ(form.G_Process->Progress(), 0);
    }
}

TEST(WindowFlow, TruncatedArchiveLeavesInstallEnabledAndChangeDisabled) {
    TInstallRoot root;
    std::string whole = Slurp(ZELVANO_DEMO_ARCHIVE);
    WriteFile(root.Root() / "truncated.zip", whole.substr(0, whole.size() - 100));
    root.Serve(root.Root() / "truncated.zip");
    UseRoot(root, root.Nginx().BaseURL());
    TMainForm form;
    form.show();
    form.Btn_InstallClick(form.FBtn_Install);
    EXPECT_FALSE(form.FBtn_Install->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return form.FBtn_Install->isEnabled(); }, 20));
    EXPECT_EQ(S(form.lb_Hint->text()), "安装应用程序失败，请重新安装 . . . ");
    EXPECT_EQ(HintColour(form), QColor(0x66, 0x66, 0x66));
    EXPECT_FALSE(form.FBtn_ChangeDir->isEnabled());
    EXPECT_TRUE(form.Lb_ProcessPostion->isVisible());
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Update" / "Version.zip"));
}

// Pressing Install after the installation-failed state starts over: a new
// request, the archive downloaded again and extracted anew.
TEST(WindowFlow, InstallAgainAfterTheFailedStateRetries) {
    TInstallRoot root;
    fs::path stage = root.Root() / "stage";
    UnpackDemo(stage);
    ZipFolder(stage, root.Root() / "other.zip", "not-the-password");
    root.Serve(root.Root() / "other.zip");
    UseRoot(root, root.Nginx().BaseURL());
    TMainForm form;
    form.show();
    form.Btn_InstallClick(form.FBtn_Install);
    ASSERT_TRUE(PumpUntil([&] { return form.FBtn_Install->isEnabled(); }, 20));
    EXPECT_EQ(S(form.lb_Hint->text()), "安装应用程序失败，请重新安装 . . . ");
    EXPECT_FALSE(form.FBtn_ChangeDir->isEnabled());
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Update" / "Version.zip"));

    // Now the right archive. The uninstall entry cannot be written, so that
    // the second try ends in the failed state after the whole extraction and
    // the launcher instead of ending this process as a finished one would.
    fs::copy_file(ZELVANO_DEMO_ARCHIVE, root.Www() / "files" / "release.zip", fs::copy_options::overwrite_existing);
    root.WriteReply(ZELVANO_DEMO_ARCHIVE);
    root.BlockUninstallEntry();
    form.Btn_InstallClick(form.FBtn_Install);
    EXPECT_FALSE(form.FBtn_Install->isEnabled());
    ASSERT_TRUE(PumpUntil([&] { return form.FBtn_Install->isEnabled(); }, 20));
    for (const char* f : {"Corvexa.exe", "Uninstall.exe", "readme.txt", "data/config/settings.ini"})
        EXPECT_TRUE(fs::is_regular_file(root.ClientFolder() / f)) << f;
    EXPECT_TRUE(fs::exists(root.Launcher()));
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Update"));
    int updates = 0, heads = 0;
    for (const auto& [request, range] : root.Requests()) {
        if (request == "GET /api/autodownload/student HTTP/1.1") ++updates;
        if (request == "HEAD /files/release.zip HTTP/1.1") ++heads;
    }
    EXPECT_EQ(updates, 2);
    EXPECT_EQ(heads, 2);
}

// An install folder in which the client folder cannot be made: the
// installation-failed hint without a message box, and both buttons usable,
// so that another folder can be chosen.
TEST(WindowFlow, UnusableInstallFolderLeavesBothButtonsEnabled) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    UseRoot(root, root.Nginx().BaseURL());
    WriteFile(root.ClientFolder(), "a file, not a folder");
    TMainForm form;
    form.show();
    testing::internal::CaptureStderr();
    form.Btn_InstallClick(form.FBtn_Install);
    QCoreApplication::processEvents();
    // Unattended message boxes are written to standard error after the title.
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("Zelvanoviz-"), std::string::npos) << err;
    EXPECT_EQ(S(form.lb_Hint->text()), "安装应用程序失败，请重新安装 . . . ");
    EXPECT_EQ(HintColour(form), QColor(0x66, 0x66, 0x66));
    EXPECT_TRUE(form.FBtn_Install->isEnabled());
    EXPECT_TRUE(form.FBtn_ChangeDir->isEnabled());
    EXPECT_FALSE(form.Lb_ProcessPostion->isVisible());
    EXPECT_EQ(Slurp(root.ClientFolder()), "a file, not a folder");
}

TEST(WindowFlow, RefusedSignatureLeavesInstallEnabledAndChangeDisabled) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE, R"({"download_url":"%URL%","signature":"MEUCIQ=="})");
    UseRoot(root, root.Nginx().BaseURL());
    TMainForm form;
    form.show();
    form.Btn_InstallClick(form.FBtn_Install);
    ASSERT_TRUE(PumpUntil([&] { return form.FBtn_Install->isEnabled(); }, 20));
    EXPECT_EQ(S(form.lb_Hint->text()), "安装包签名校验失败，请重新安装 . . . ");
    EXPECT_EQ(HintColour(form), QColor(0x66, 0x66, 0x66));
    EXPECT_FALSE(form.FBtn_ChangeDir->isEnabled());
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Update" / "Version.zip"));
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
}

TEST(WindowFlow, EmptyInstallFolderAsksForOneWithoutARequest) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    UseRoot(root, root.Nginx().BaseURL());
    unsetenv("PROGRAMFILES");
    TMainForm form;
    form.show();
    EXPECT_EQ(form.Edt_InstallDir->text(), "");
    form.Btn_InstallClick(form.FBtn_Install);
    QCoreApplication::processEvents();
    EXPECT_EQ(S(form.lb_Hint->text()), "请先选择安装目录 . . . ");
    EXPECT_EQ(HintColour(form), QColor(0xDD, 0x4B, 0x39));
    EXPECT_TRUE(form.FBtn_Install->isEnabled());
    EXPECT_TRUE(form.FBtn_ChangeDir->isEnabled());
    EXPECT_TRUE(root.Requests().empty());
}

TEST(WindowFlow, CloseDuringTheDownloadRemovesTheWorkFolder) {
    TInstallRoot root;
    fs::path stage = root.Root() / "stage";
    UnpackDemo(stage);
    WriteRandomFile(stage / "media.bin", 3'000'000);
    ZipFolder(stage, root.Root() / "large.zip");
    root.Serve(root.Root() / "large.zip", R"({"download_url":"%URL%",%RELEASE%})", "location /files/ { limit_rate 400k; }");
    UseRoot(root, root.Nginx().BaseURL());
    TMainForm form;
    form.show();
    fs::path work = root.ClientFolder() / "Update";
    bool sawPartialArchive = false;
    QTimer::singleShot(0, &form, [&] { form.Btn_InstallClick(form.FBtn_Install); });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        std::error_code ec;
        auto size = fs::file_size(work / "Version.zip", ec);
        if (!ec && size > 0 && size < fs::file_size(root.Root() / "large.zip")) {
            sawPartialArchive = true;
            poll.stop();
            form.FBtn_Close1->OnClick(form.FBtn_Close1);
        }
    });
    poll.start(20);
    EXPECT_TRUE(RunMessageLoop(30));
    EXPECT_TRUE(sawPartialArchive);
    EXPECT_FALSE(fs::exists(work));
    EXPECT_TRUE(fs::exists(root.ClientFolder()));
    EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
}

TEST(WindowFlow, CloseBeforeAnyInstallationDeletesNothing) {
    TInstallRoot root;
    UseRoot(root, "http://127.0.0.1:1");
    WriteFile(root.ClientFolder() / "Update" / "keep.txt", "x");
    TMainForm form;
    EXPECT_EQ(form.GetUpdateDir(), u"");
    QTimer::singleShot(0, &form, [&] { form.Btn_CloseClick(form.FBtn_Close1); });
    EXPECT_TRUE(RunMessageLoop(5));
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Update" / "keep.txt"));
}

TEST(WindowFlow, DownloadPageInstallsTheSecondProgram) {
    TInstallRoot root;
    fs::path stage = root.Root() / "stage";
    fs::create_directories(stage / "lib");
    fs::copy_file(ZELVANO_DEMO_CLIENT, stage / "ZiduzarerEdozuz.exe");
    WriteFile(stage / "lib" / "part.txt", "part");
    ZipFolder(stage, root.Root() / "package.zip");
    root.Serve(root.Root() / "package.zip");
    WriteFile(root.Www() / "dtqnew" / "student" / "update" / "id" / "1",
              R"({"download_url":")" + root.ArchiveUrl() + R"("})");
    UseRoot(root, root.Nginx().BaseURL());
    fs::path folder = root.Root() / "C";
    fs::create_directories(folder);

    TMainForm form;
    form.show();
    form.Edt_FileName->setText(QString::fromStdString(folder.string()));
    QTimer::singleShot(0, &form, [&] { form.Btn_DownLoadAndRunClick(form.Btn_DownLoadAndRun); });
    EXPECT_TRUE(RunMessageLoop(30));

    fs::path program = folder / "Vantrell" / "ZiduzarerEdozuz.exe";
    EXPECT_TRUE(fs::exists(program));
    EXPECT_EQ(Slurp(folder / "Vantrell" / "lib" / "part.txt"), "part");
    EXPECT_FALSE(fs::exists(folder / "Version.zip"));
    EXPECT_EQ(S(form.lb_Hint1->text()), "最新发布程序解压已完成。");
    EXPECT_EQ(form.G_DownLoad->Progress(), form.G_DownLoad->MaxValue());
    EXPECT_FALSE(form.Btn_DownLoadAndRun->isEnabled());
    EXPECT_FALSE(form.Edt_FileName->isEnabled());
    EXPECT_NE(Slurp(root.Launcher()).find("Exec=\"" + program.string() + "\""), std::string::npos);
    std::string started = WaitForFile(folder / "Vantrell" / "started");
    EXPECT_EQ(started.substr(started.find("folder ") + 7), (folder / "Vantrell").string() + "\n");
    // The log is written only once the install page's flow has run.
    EXPECT_EQ(form.M_Log->toPlainText().indexOf(QString::fromUtf8("解压成功")), -1);
    // The page's installation writes no uninstall entry.
    EXPECT_TRUE(root.UninstallValues().empty());
}

TEST(WindowFlow, DownloadPageWithoutAnAddressSaysSoAndChangesNothing) {
    TInstallRoot root;
    root.Serve(ZELVANO_DEMO_ARCHIVE);
    WriteFile(root.Www() / "dtqnew" / "student" / "update" / "id" / "1", R"({"version":"2.0"})");
    UseRoot(root, root.Nginx().BaseURL());
    TMainForm form;
    testing::internal::CaptureStderr();
    form.Btn_DownLoadAndRunClick(form.Btn_DownLoadAndRun);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("获取软件网络信息失败，请稍后重试！"), std::string::npos) << err;
    EXPECT_TRUE(form.Btn_DownLoadAndRun->isEnabled());
    EXPECT_TRUE(form.CheckB_DeskTop->isEnabled());
}

TEST(WindowFlow, SearchFileOrderAndWhichFoldersCount) {
    zelvano_test::TempDir tmp("zelvano-search");
    fs::path top = tmp.Path() / "Pordino2.0";
    WriteFile(top / "Corvexa.exe", "a");
    WriteFile(top / "bin" / "CORVEXA.EXE", "b");
    fs::create_directories(top / "plain" / "Corvexa.exe");
    fs::create_directories(top / "locked" / "Corvexa.exe");
    fs::permissions(top / "locked" / "Corvexa.exe", fs::perms::owner_write, fs::perm_options::remove);
    WriteFile(top / ".hidden" / "Corvexa.exe", "hidden folders are not entered");
    fs::create_directory_symlink(top / "bin", top / "link");

    std::u16string folder = T(top) + u"/";
    auto hits = SearchFile(u"corvexa.exe", folder, true, true);
    std::sort(hits.begin(), hits.end());
    std::vector<std::u16string> expected = {folder + u"/Corvexa.exe", folder + u"/bin/CORVEXA.EXE",
                                            folder + u"/locked/Corvexa.exe"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(hits, expected);

    // The order is the listing's, depth first.
    std::vector<platform::TFolderEntry> entries;
    platform::ListFolder(folder, entries);
    auto ordered = SearchFile(u"corvexa.exe", folder, true, true);
    size_t binAt = 0, topAt = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].Name == u"bin") binAt = i;
        if (entries[i].Name == u"Corvexa.exe") topAt = i;
    }
    ASSERT_EQ(ordered.size(), 3u);
    auto at = [&](const std::u16string& hit) { return std::find(ordered.begin(), ordered.end(), hit) - ordered.begin(); };
    EXPECT_EQ(at(folder + u"/Corvexa.exe") < at(folder + u"/bin/CORVEXA.EXE"), topAt < binAt);

    auto folders = SearchFile(u"Corvexa.exe", T(top), false, true);
    EXPECT_NE(std::find(folders.begin(), folders.end(), T(top) + u"/plain/Corvexa.exe"), folders.end());
    EXPECT_EQ(SearchFile(u"Corvexa.exe", T(top), true, false).size(), 1u);
    EXPECT_TRUE(SearchFile(u"Corvexa.exe", T(top / "missing"), true, true).empty());
}

TEST(WindowFlow, GetUpdateDirCreatesTheWholeChain) {
    zelvano_test::TempDir tmp("zelvano-updatedir");
    TInstallRoot root;
    UseRoot(root, "http://127.0.0.1:1");
    TMainForm form;
    EXPECT_EQ(form.GetUpdateDir(), u"");
    form.FAppName = T(tmp.Path() / "A" / "Pordino2.0" / "Corvexa.exe");
    EXPECT_EQ(form.GetUpdateDir(), T(tmp.Path() / "A" / "Pordino2.0" / "Update"));
    EXPECT_TRUE(fs::is_directory(tmp.Path() / "A" / "Pordino2.0" / "Update"));

    // A relative path whose first folder does not exist is refused with a message.
    form.FAppName = u"no-such-folder-zelvano/Pordino2.0/Corvexa.exe";
    testing::internal::CaptureStderr();
    EXPECT_EQ(form.GetUpdateDir(), u"no-such-folder-zelvano/Pordino2.0/Update");
    EXPECT_NE(testing::internal::GetCapturedStderr().find("无效的文件路径！"), std::string::npos);
    EXPECT_FALSE(fs::exists("no-such-folder-zelvano"));
}

TEST(WindowFlow, UpdateReplyToArchiveAddress) {
    // Replies as the client decodes them by their charset; a reply without
    // one arrives as ISO-8859-1, so UTF-8 bytes come as one character each.
    setenv("ZELVANO_ANSI_CODEPAGE", "1252", 1);
    struct Case {
        std::u16string reply;
        std::u16string url;
    } cases[] = {
        {u"{\"download_url\":\"http://h/a.zip\"}", u"http://h/a.zip"},
        {u"  {\"x\":1,\"download_url\":\"http://h/b.zip\"} trailing text", u"http://h/b.zip"},
        {u"{\"download_url\":\"http://h/\u00C3\u00A9.zip\"}", u"http://h/\u00E9.zip"},
        {u"{\"download_url\":\"\"}", u""},
        {u"{\"url\":\"http://h/a.zip\"}", u""},
        {u"<html><body>maintenance</body></html>", u""},
        {u"[\"http://h/a.zip\"]", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(ServerAddresses::ArchiveUrlOfReply(c.reply), c.url) << TextToUtf8(c.reply);
    EXPECT_THROW(ServerAddresses::ArchiveUrlOfReply(u"{\"download_url\":\"http://h/a.zip\""), platform::Exception);
    unsetenv("ZELVANO_ANSI_CODEPAGE");

    setenv("ZELVANO_UPDATE_SERVER", "http://127.0.0.1:8080/", 1);
    EXPECT_EQ(ServerAddresses::UpdateInfoUrl(false), u"http://127.0.0.1:8080/api/autodownload/student");
    EXPECT_EQ(ServerAddresses::UpdateInfoUrl(true), u"http://127.0.0.1:8080/api/autodownload/student?os=xp");
    unsetenv("ZELVANO_UPDATE_SERVER");
    unsetenv("ZELVANO_TEST_UPDATE_SERVER");
    EXPECT_EQ(ServerAddresses::UpdateInfoUrl(false), u"http://update.zelvano.example/api/autodownload/student");
    EXPECT_EQ(ServerAddresses::TestUpdateInfoUrl(), u"http://test.zelvano.example/dtqnew/student/update/id/1");
}

// Before an entry is written its old file is deleted, with four more tries
// after 100, 200, 500 and 1000 ms while another process holds it.
TEST(WindowFlow, DestinationFileDeletionRetriesAndLogs) {
    TInstallRoot root;
    UseRoot(root, "http://127.0.0.1:1");
    TMainForm form;
    form.PG->setCurrentWidget(form.tb_AutoUpdate);
    fs::path free = root.Root() / "free.txt", held = root.Root() / "held.txt";
    WriteFile(free, "x");
    WriteFile(held, "x");
    FILE* holder = popen(("flock -x '" + held.string() + "' -c 'echo locked; sleep 3'").c_str(), "r");
    ASSERT_NE(holder, nullptr);
    char line[16] = {};
    ASSERT_NE(fgets(line, sizeof line, holder), nullptr);

    std::u16string name = T(free);
    bool skip = false;
    auto start = std::chrono::steady_clock::now();
    form.UnZipperStartUnZip(nullptr, 0, name, skip);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.09);
    EXPECT_FALSE(fs::exists(free));

    name = T(held);
    start = std::chrono::steady_clock::now();
    form.UnZipperStartUnZip(nullptr, 1, name, skip);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(waited, 1.8);
    EXPECT_LT(waited, 2.6);
    EXPECT_TRUE(fs::exists(held));
    EXPECT_FALSE(skip);
    pclose(holder);

    form.UnZipperEndUnZip(nullptr, 0, T(free));
    QCoreApplication::processEvents();
    EXPECT_EQ(S(form.M_Log->toPlainText()), "删除成功：" + free.string() + "\n解压成功：" + free.string());
}
