// The synchronous downloader: the fetch, its gauge rule, its log lines, its
// failures, the statuses and the cancel of its download action. On Windows
// the fetch goes through the system's URL download service (under Wine its
// urlmon and WinINet against nginx on loopback), on Linux through the HTTP
// client; the cases below hold for both unless marked.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include "download/DownLoad.h"
#include "download_support.h"
#include "platform/exception.h"
#include "platform/urldownload.h"
#include "tests/support/fault_server.h"

#ifdef _WIN32
#include <objbase.h>
#include <wininet.h>
#undef DeleteUrlCacheEntry  // wininet.h's name for DeleteUrlCacheEntryW

#include <cstdlib>

#include "platform/process.h"
#endif

namespace {

using namespace download_test;
using download::TDownLoad;
using download::TDownLoadURL;
using download::TPlainDownLoadWindow;
using download::TPlainProgressGauge;
using download::TURLDownloadStatus;

const std::u16string kStarted = u"正在下载最新的发布程序，请稍后 . . .";
const std::u16string kFinished = u"最新发布程序下载已完成。";

std::u16string ErrorLine(const std::string& url, const std::string& error) {
    return u"下载文件错误：Url=\"" + Text(url) + u"\";Err=\"" + Text(error) + u"\"";
}
std::u16string ErrorLine(const std::string& url) { return ErrorLine(url, "Error downloading URL: " + url); }

struct Report {
    uint32_t Progress, ProgressMax;
    TURLDownloadStatus StatusCode;
    std::u16string StatusText;
};

// The message of the action's failure, or "" when it succeeded.
std::u16string ExecuteMessage(TDownLoadURL& action) {
    try {
        action.ExecuteTarget();
    } catch (const platform::Exception& e) {
        return e.Message();
    }
    return {};
}

TEST(UrlDownLoad, FetchesMovesTheGaugeAndLogs) {
    zelvano_test::TempDir root, out;
    const std::string remote = Bytes(300000, 21);
    WriteFile(root.Path() / "v.zip", remote);
    zelvano_test::NginxServer nginx(root.Path(), "location = /moved { return 302 /v.zip; }");

    TPlainProgressGauge gauge;
    TPlainDownLoadWindow window;
    TDownLoad downloader(&gauge, &window);
    const fs::path local = out.Path() / "v.zip";
    downloader.SetDownLoadFileURL(Text(nginx.BaseURL() + "/moved"));
    downloader.SetLocalFileName(Text(local.string()));
    ASSERT_TRUE(downloader.DownLoad());
    EXPECT_TRUE(ReadFile(local) == remote);
    EXPECT_EQ(window.LogLines(), (std::vector<std::u16string>{kStarted, kFinished}));
    // 120 %: the gauge stands at about 83 % when the file is in.
    EXPECT_EQ(gauge.MaxValue(), 360000);
    EXPECT_EQ(gauge.Progress(), 300000);
    EXPECT_GT(window.ProcessMessagesCalls(), 0);

    // The second form stores its arguments and logs nothing on success; a
    // file already at the target is replaced.
    const fs::path second = out.Path() / "second.zip";
    WriteFile(second, std::string(400000, 'x'));
    ASSERT_TRUE(downloader.DownLoad(Text(nginx.BaseURL() + "/v.zip"), Text(second.string())));
    EXPECT_TRUE(ReadFile(second) == remote);
    EXPECT_EQ(downloader.LocalFileName(), Text(second.string()));
    EXPECT_EQ(window.LogLines().size(), 2u);
}

TEST(UrlDownLoad, FailuresGiveFalseAndTheErrorLine) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "v.zip", Bytes(1000));
    zelvano_test::NginxServer nginx(root.Path());
    TPlainDownLoadWindow window;
    TDownLoad downloader(nullptr, &window);

    // Empty address or file name: nothing happens at all.
    downloader.SetDownLoadFileURL(u"");
    downloader.SetLocalFileName(Text((out.Path() / "x").string()));
    EXPECT_FALSE(downloader.DownLoad());
    downloader.SetDownLoadFileURL(Text(nginx.BaseURL() + "/v.zip"));
    downloader.SetLocalFileName(u"");
    EXPECT_FALSE(downloader.DownLoad());
    EXPECT_TRUE(window.LogLines().empty());
    EXPECT_TRUE(Requests(nginx).empty());

    // An HTTP error: the service of Wine saves the error page and reports
    // success, which must not pass as the file.
    const std::string missing = nginx.BaseURL() + "/missing.zip";
    const fs::path local = out.Path() / "missing.zip";
    downloader.SetDownLoadFileURL(Text(missing));
    downloader.SetLocalFileName(Text(local.string()));
    EXPECT_FALSE(downloader.DownLoad());
    EXPECT_EQ(window.LogLines(), (std::vector<std::u16string>{kStarted, ErrorLine(missing)}));
    EXPECT_FALSE(fs::exists(local)) << "no partial file is left";

    // Unwritable target (its folder does not exist; the service of Wine
    // reports success there too), through the second form.
    const std::string good = nginx.BaseURL() + "/v.zip";
    EXPECT_FALSE(downloader.DownLoad(Text(good), Text((out.Path() / "no" / "x").string())));
    EXPECT_EQ(window.LogLines().back(), ErrorLine(good));
    EXPECT_EQ(window.LogLines().size(), 3u);

    // Nothing listens.
    const std::string closed = "http://127.0.0.1:1/v.zip";
    EXPECT_FALSE(downloader.DownLoad(Text(closed), Text(local.string())));
    EXPECT_EQ(window.LogLines().back(), ErrorLine(closed));
    EXPECT_FALSE(fs::exists(local));
}

TEST(UrlDownLoad, BodyEndingBeforeItsLengthIsAFailure) {
    zelvano_test::FaultServer server(R"({"connections": [[{"read": "head"},
        {"send": "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly this"}, {"close": true}]]})");
    zelvano_test::TempDir out;
    const fs::path local = out.Path() / "v.zip";
    TPlainDownLoadWindow window;
    TDownLoad downloader(nullptr, &window);
    const std::string url = server.BaseURL() + "/v.zip";
    EXPECT_FALSE(downloader.DownLoad(Text(url), Text(local.string())));
    EXPECT_EQ(window.LogLines(), std::vector<std::u16string>{ErrorLine(url)});
    EXPECT_FALSE(fs::exists(local)) << "no partial file is left";
}

// A server that accepts the request and never answers fails the fetch once
// the line has brought no byte for the idle deadline, instead of holding it.
// The HTTP client's deadlines; the Windows service keeps its own.
TEST(UrlDownLoad, SilentServerFailsAtTheIdleDeadline) {
    if (platform::HasUrlDownloadService()) GTEST_SKIP() << "the system's URL download service keeps its own deadlines";
    zelvano_test::FaultServer server(R"({"connections": [], "default": [{"read": "head"}, {"hold": 120}]})");
    zelvano_test::TempDir out;
    TDownLoadURL action;
    action.URL = Text(server.BaseURL() + "/v.zip");
    action.Filename = Text((out.Path() / "v.zip").string());
    action.ConnectTimeout = 2000;
    action.IdleTimeout = 2000;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(ExecuteMessage(action), u"Error downloading URL: " + action.URL);
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 60.0) << "the fetch waited for the server to give up";
    EXPECT_GE(seconds, 1.5);
    EXPECT_FALSE(fs::exists(out.Path() / "v.zip"));
}

// A copy cached with a lifetime must not stand in for the file: the second
// fetch goes to the server and brings the new bytes.
TEST(UrlDownLoad, FetchesFromTheServerPastACachedCopy) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "c.bin", "first release");
    zelvano_test::NginxServer nginx(root.Path(), "location = /c.bin { expires 1h; }");
    const std::string url = nginx.BaseURL() + "/c.bin";
    TDownLoad downloader(nullptr);
    ASSERT_TRUE(downloader.DownLoad(Text(url), Text((out.Path() / "1").string())));
    EXPECT_EQ(ReadFile(out.Path() / "1"), "first release");

    WriteFile(root.Path() / "c.bin", "second release");
    ASSERT_TRUE(downloader.DownLoad(Text(url), Text((out.Path() / "2").string())));
    EXPECT_EQ(ReadFile(out.Path() / "2"), "second release");
    const auto requests = Requests(nginx);
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_EQ(r.path, "/c.bin");
        EXPECT_EQ(r.status, 200);
    }
}

TEST(UrlDownLoad, ActionRelaysTheStatusesOfTheFetch) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "v.zip", Bytes(300000, 5));
    zelvano_test::NginxServer nginx(root.Path());
    const std::string url = nginx.BaseURL() + "/v.zip";

    TDownLoadURL action;
    action.URL = Text(url);
    action.Filename = Text((out.Path() / "v.zip").string());
    std::vector<Report> reports;
    action.OnDownloadProgress = [&](TDownLoadURL* Sender, uint32_t Progress, uint32_t ProgressMax,
                                    TURLDownloadStatus StatusCode, const std::u16string& StatusText, bool& Cancel) {
        EXPECT_EQ(Sender, &action);
        EXPECT_FALSE(Cancel);
        reports.push_back({Progress, ProgressMax, StatusCode, StatusText});
    };
    EXPECT_EQ(ExecuteMessage(action), u"");

    ASSERT_FALSE(reports.empty());
    size_t begin = reports.size(), end = reports.size();
    for (size_t i = 0; i < reports.size(); ++i) {
        const Report& r = reports[i];
        if (r.StatusCode == download::dsBeginDownloadData && begin == reports.size()) begin = i;
        if (r.StatusCode == download::dsEndDownloadData) end = i;
        if (r.ProgressMax != 0) {
            EXPECT_LE(r.Progress, r.ProgressMax) << "report " << i;
        }
        if (!r.StatusText.empty()) {
            EXPECT_GT(r.StatusText.front(), u' ') << "report " << i << " is not trimmed";
            EXPECT_GT(r.StatusText.back(), u' ') << "report " << i << " is not trimmed";
        }
    }
    ASSERT_LT(begin, end) << "the data begins, then ends";
    EXPECT_EQ(end, reports.size() - 1);
    EXPECT_EQ(reports[end].Progress, 300000u);
    EXPECT_EQ(reports[end].ProgressMax, 300000u);
    EXPECT_EQ(reports[end].StatusText, Text(url));
}

// Setting Cancel in a report, or failing in it, stops the fetch: the action
// fails, the file is gone and no report follows the one that stopped it.
TEST(UrlDownLoad, CancelStopsTheFetch) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "v.zip", Bytes(300000, 9));
    zelvano_test::NginxServer nginx(root.Path());
    const std::string url = nginx.BaseURL() + "/v.zip";
    const fs::path local = out.Path() / "v.zip";

    struct Case {
        const char* name;
        bool atFirstReport;  // else at dsBeginDownloadData
        bool throwInstead;
    };
    for (const Case& c : {Case{"first report", true, false}, Case{"data begins", false, false},
                          Case{"handler throws", false, true}}) {
        SCOPED_TRACE(c.name);
        TDownLoadURL action;
        action.URL = Text(url);
        action.Filename = Text(local.string());
        int seen = 0, seenAfterStop = 0;
        bool stopped = false;
        action.OnDownloadProgress = [&](TDownLoadURL*, uint32_t, uint32_t, TURLDownloadStatus StatusCode,
                                        const std::u16string&, bool& Cancel) {
            ++seen;
            if (stopped) ++seenAfterStop;
            if (!c.atFirstReport && StatusCode != download::dsBeginDownloadData) return;
            stopped = true;
            if (c.throwInstead) throw std::runtime_error("handler failed");
            Cancel = true;
        };
        EXPECT_EQ(ExecuteMessage(action), Text("Error downloading URL: " + url));
        EXPECT_TRUE(stopped);
        EXPECT_EQ(seenAfterStop, 0);
        EXPECT_FALSE(fs::exists(local));
    }
}

#ifdef _WIN32

// The service keeps a copy of what it fetched in the internet cache;
// removing the address's entry, as every fetch does first, clears it.
TEST(UrlDownLoadService, RemovesTheCacheEntry) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "c.bin", "cached");
    zelvano_test::NginxServer nginx(root.Path(), "location = /c.bin { expires 1h; }");
    const std::u16string url = Text(nginx.BaseURL() + "/c.bin");
    auto cached = [&] {
        DWORD size = 0;
        GetUrlCacheEntryInfoW(reinterpret_cast<const wchar_t*>(url.c_str()), nullptr, &size);
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER;
    };
    TDownLoad downloader(nullptr);
    ASSERT_TRUE(downloader.DownLoad(url, Text((out.Path() / "c.bin").string())));
    ASSERT_TRUE(cached());
    platform::DeleteUrlCacheEntry(url);
    EXPECT_FALSE(cached());
    platform::DeleteUrlCacheEntry(url);  // no entry: nothing to do
}

// The calling thread's COM is left as it was: initialised for the fetch
// and uninitialised again when the thread had none, kept when it had it in
// either model.
TEST(UrlDownLoadService, LeavesTheThreadsComAsItWas) {
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "v.zip", Bytes(5000));
    zelvano_test::NginxServer nginx(root.Path());
    const std::u16string url = Text(nginx.BaseURL() + "/v.zip");
    int n = 0;
    auto fetch = [&] {
        TDownLoad downloader(nullptr);
        return downloader.DownLoad(url, Text((out.Path() / std::to_string(++n)).string()));
    };

    std::thread([&] {
        EXPECT_TRUE(fetch());
        // The fetch's own apartment is gone: another model can be chosen.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
    for (DWORD model : {DWORD(COINIT_MULTITHREADED), DWORD(COINIT_APARTMENTTHREADED)}) {
        std::thread([&] {
            ASSERT_EQ(CoInitializeEx(nullptr, model), S_OK);
            EXPECT_TRUE(fetch()) << "model " << model;
            // Still initialised in the thread's own model.
            EXPECT_EQ(CoInitializeEx(nullptr, model), S_FALSE) << "model " << model;
            CoUninitialize();
            CoUninitialize();
        }).join();
    }
}

// Run only as the child of the test below, in a process for which Wine does
// not load urlmon.dll.
TEST(UrlDownLoadChild, MissingServiceIsTheErrorLine) {
    if (!std::getenv("ZELVANO_URLMON_CHILD")) GTEST_SKIP() << "only as a child";
    TPlainDownLoadWindow window;
    TDownLoad downloader(nullptr, &window);
    const std::string url = "http://127.0.0.1:1/v.zip";
    EXPECT_FALSE(downloader.DownLoad(Text(url), u"Z:\\tmp\\zelvano-urlmon-child.zip"));
    EXPECT_EQ(window.LogLines(), std::vector<std::u16string>{ErrorLine(url, "Unable to load urlmon.dll")});
}

// A copy of this program under a name of its own, for which Wine's
// per-program setting (HKCU\Software\Wine\AppDefaults\<name>\DllOverrides,
// an empty value disables the library) leaves urlmon.dll unloadable.
TEST(UrlDownLoadService, MissingLibraryIsReported) {
    zelvano_test::TempDir folder;
    const std::string name = "zelvano-nourlmon-" + std::to_string(GetCurrentProcessId()) + ".exe";
    const fs::path copy = folder.Path() / name;
    ASSERT_TRUE(CopyFileW(reinterpret_cast<const wchar_t*>(platform::CurrentExecutable().c_str()),
                          copy.wstring().c_str(), FALSE));
    const std::wstring appKey = L"Software\\Wine\\AppDefaults\\" + fs::path(name).wstring();
    HKEY overrides;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (appKey + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                              KEY_SET_VALUE, nullptr, &overrides, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(overrides, L"urlmon", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t)),
              ERROR_SUCCESS);
    RegCloseKey(overrides);

    zelvano_test::SetEnv("ZELVANO_URLMON_CHILD", "1");
    const auto child = zelvano_test::RunProgram(copy.string(), {"--gtest_filter=UrlDownLoadChild.*"});
    zelvano_test::UnsetEnv("ZELVANO_URLMON_CHILD");
    RegDeleteTreeW(HKEY_CURRENT_USER, appKey.c_str());
    EXPECT_EQ(child.Status, 0) << child.Output;
    EXPECT_NE(child.Output.find("[  PASSED  ] 1 test"), std::string::npos) << child.Output;
    EXPECT_EQ(child.Output.find("SKIPPED"), std::string::npos) << child.Output;
}

#endif

}  // namespace
