// The synchronous downloader: the fetch, its gauge rule, its log lines and
// its failures.
#include <gtest/gtest.h>

#include "download/DownLoad.h"
#include "download_support.h"
#include "tests/support/fault_server.h"

namespace {

using namespace download_test;
using download::TDownLoad;
using download::TPlainDownLoadWindow;
using download::TPlainProgressGauge;

const std::u16string kStarted = u"正在下载最新的发布程序，请稍后 . . .";
const std::u16string kFinished = u"最新发布程序下载已完成。";

std::u16string ErrorLine(const std::string& url) {
    return u"下载文件错误：Url=\"" + Text(url) + u"\";Err=\"Error downloading URL: " + Text(url) +
           u"\"";
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

    // The second form stores its arguments and logs nothing on success.
    const fs::path second = out.Path() / "second.zip";
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

    const std::string missing = nginx.BaseURL() + "/missing.zip";
    const fs::path local = out.Path() / "missing.zip";
    downloader.SetDownLoadFileURL(Text(missing));
    downloader.SetLocalFileName(Text(local.string()));
    EXPECT_FALSE(downloader.DownLoad());
    EXPECT_EQ(window.LogLines(), (std::vector<std::u16string>{kStarted, ErrorLine(missing)}));
    EXPECT_FALSE(fs::exists(local)) << "no partial file is left";

    // Unwritable target, through the second form.
    const std::string good = nginx.BaseURL() + "/v.zip";
    EXPECT_FALSE(downloader.DownLoad(Text(good), Text((out.Path() / "no" / "x").string())));
    EXPECT_EQ(window.LogLines().back(), ErrorLine(good));
    EXPECT_EQ(window.LogLines().size(), 3u);
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

}  // namespace
