// A setup program with a release key built in (the demo publisher's), run
// unattended: it installs the archive its publisher signed and refuses every
// other one after the download, with the archive deleted and nothing
// extracted or started.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_support.h"
#include "tests/support/test_authority.h"

using namespace e2e;

namespace {

const std::string kHintSignatureRefused = "安装包签名校验失败，请重新安装 . . . ";

// What a publisher puts into the update reply: the base64 of the DER ECDSA
// signature over the archive's SHA-256.
std::string Sign(const fs::path& key, const fs::path& archive) {
    return zelvano_test::RunCommand("openssl dgst -sha256 -sign " + zelvano_test::ShellQuote(key.string()) + " " +
                                    zelvano_test::ShellQuote(archive.string()) + " | base64 -w0");
}

std::string ReplyWithSignature(const std::string& signature) {
    return R"({"download_url":"%URL%","version":"2.0","signature":")" + signature + R"("})";
}

bool ArchiveWasDownloaded(const TInstallRoot& root) {
    for (const auto& [line, range] : root.Requests())
        if (line.rfind("GET /files/release.zip ", 0) == 0) return true;
    return false;
}

}  // namespace

TEST(SignedRelease, ArchiveSignedByThePublisherIsInstalled) {
    TInstallRoot root(ZELVANO_SIGNED_SETUP_BINARY);
    root.Serve(ZELVANO_DEMO_ARCHIVE, ReplyWithSignature(Sign(ZELVANO_DEMO_KEY, ZELVANO_DEMO_ARCHIVE)));
    TRunResult run = root.RunSetup();
    EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
    EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
    EXPECT_FALSE(WaitForFile(root.ClientFolder() / "started").empty()) << "the client was not started";
    EXPECT_FALSE(root.UninstallValues().empty());
}

// Each refused case: the archive served and the signature the reply carries.
TEST(SignedRelease, RefusedSignatures) {
    zelvano_test::TempDir work("zelvano-signatures");
    const fs::path demo = ZELVANO_DEMO_ARCHIVE;
    // The demo archive with one byte changed, in the middle of its data.
    std::string bytes = Slurp(demo);
    bytes[bytes.size() / 2] ^= 0x01;
    WriteFile(work.Path() / "changed.zip", bytes);
    // Another archive of the same publisher.
    fs::path stage = work.Path() / "stage";
    UnpackDemo(stage);
    WriteFile(stage / "extra.txt", "another release");
    ZipFolder(stage, work.Path() / "other.zip");
    // Another publisher's key.
    zelvano_test::RunCommand("openssl ecparam -name prime256v1 -genkey -noout -out " +
                             zelvano_test::ShellQuote((work.Path() / "stranger.key").string()));

    const std::string demoSignature = Sign(ZELVANO_DEMO_KEY, demo);
    struct Case {
        const char* Name;
        fs::path Served;
        std::string Reply;
    };
    const Case cases[] = {
        {"archive changed by one byte", work.Path() / "changed.zip", ReplyWithSignature(demoSignature)},
        {"signature of another archive", demo,
         ReplyWithSignature(Sign(ZELVANO_DEMO_KEY, work.Path() / "other.zip"))},
        {"no signature", demo, R"({"download_url":"%URL%","version":"2.0"})"},
        {"signature not base64", demo, ReplyWithSignature("MEUCIQ*not-base64*")},
        {"key of another publisher", demo, ReplyWithSignature(Sign(work.Path() / "stranger.key", demo))},
    };
    for (const Case& c : cases) {
        TInstallRoot root(ZELVANO_SIGNED_SETUP_BINARY);
        root.Serve(c.Served, c.Reply);
        TRunResult run = root.RunSetup();
        EXPECT_EQ(run.ExitStatus, 2) << c.Name << "\n" << run.Stderr;
        EXPECT_EQ(run.LastLine(), kHintSignatureRefused) << c.Name;
        EXPECT_TRUE(ArchiveWasDownloaded(root)) << c.Name;
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Update" / "Version.zip")) << c.Name << ": archive kept";
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe")) << c.Name << ": extracted";
        EXPECT_FALSE(fs::exists(root.ClientFolder() / "started")) << c.Name << ": client started";
        EXPECT_FALSE(fs::exists(root.Launcher())) << c.Name;
        EXPECT_TRUE(root.UninstallValues().empty()) << c.Name;
    }
}

// The whole road over https: the update request and the ranged download over
// TLS to a server whose authority the system trusts, then the signature. The
// same server under an authority nobody trusts is a network failure.
TEST(SignedRelease, WholeInstallationOverHttps) {
    zelvano_test::TestAuthority authority, stranger("Some Other Authority");
    auto served = authority.Issue("server", "DNS:localhost,IP:127.0.0.1");
    for (bool trusted : {true, false}) {
        SCOPED_TRACE(trusted ? "trusted authority" : "untrusted authority");
        TInstallRoot root(ZELVANO_SIGNED_SETUP_BINARY);
        root.Serve(ZELVANO_DEMO_ARCHIVE, ReplyWithSignature(Sign(ZELVANO_DEMO_KEY, ZELVANO_DEMO_ARCHIVE)), "",
                   served.Certificate, served.Key);
        ASSERT_EQ(root.ArchiveUrl().rfind("https://", 0), 0u);
        TRunResult run = root.RunSetup({{"SSL_CERT_FILE", (trusted ? authority : stranger).CertificateFile().string()},
                                        {"SSL_CERT_DIR", root.Root().string()}});
        if (trusted) {
            EXPECT_EQ(run.ExitStatus, 0) << run.Stderr;
            EXPECT_TRUE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
            EXPECT_TRUE(ArchiveWasDownloaded(root));
        } else {
            EXPECT_EQ(run.ExitStatus, 1) << run.Stderr;
            EXPECT_EQ(run.LastLine(), "网络断开安装失败 ，请重新安装 . . .");
            EXPECT_TRUE(root.Nginx().AccessLog().empty()) << "a request went out over an untrusted connection";
            EXPECT_FALSE(fs::exists(root.ClientFolder() / "Corvexa.exe"));
        }
    }
}
