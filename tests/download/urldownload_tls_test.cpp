// The synchronous downloader over https: a redirect that stays on https is
// fetched, one from https to an http server is not followed, and nothing is
// requested in the clear. On Windows the URL download service follows
// redirects itself and its bind is ended at such a one; under Wine the
// service completes no https fetch against a test authority (not even one
// without a redirect), so the case cannot be shown there and is skipped.
#include <gtest/gtest.h>

#include "download/DownLoad.h"
#include "download_support.h"
#include "platform/urldownload.h"
#include "tests/support/test_authority.h"
#include "tests/support/trusted_authority.h"

namespace {

using namespace download_test;

TEST(UrlDownLoadTls, RedirectFromHttpsToHttpIsNotFollowed) {
    if (platform::HasUrlDownloadService()) GTEST_SKIP() << "the URL download service fetches no https under Wine";
    zelvano_test::TempDir root, out;
    WriteFile(root.Path() / "c.bin", "release");
    zelvano_test::NginxServer plain(root.Path());
    zelvano_test::TestAuthority authority;
    auto served = authority.Issue("server", "DNS:localhost,IP:127.0.0.1");
    zelvano_test::NginxServer secure(root.Path(),
                                     "location = /same { return 302 /c.bin; }\n"
                                     "location = /down { return 302 " + plain.BaseURL() + "/c.bin; }\n",
                                     served.Certificate, served.Key);
    zelvano_test::TrustedAuthority trust(authority.CertificateFile());
    download::TDownLoad downloader(nullptr);
    ASSERT_TRUE(downloader.DownLoad(Text(secure.BaseURL() + "/same"), Text((out.Path() / "1").string())));
    EXPECT_EQ(ReadFile(out.Path() / "1"), "release");
    EXPECT_FALSE(downloader.DownLoad(Text(secure.BaseURL() + "/down"), Text((out.Path() / "2").string())));
    EXPECT_TRUE(plain.AccessLog().empty()) << "a request went out in the clear";
}

}  // namespace
