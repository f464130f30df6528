// Helpers of the end-to-end tests: a test root with the folders of one
// installation, release archives made with zip, the setup program run under a
// unique name, and readers for what an installation leaves behind.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/nginx_server.h"

namespace e2e {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& file);
void WriteFile(const fs::path& file, const std::string& content);
// Waits up to `seconds` for a file to exist with content.
std::string WaitForFile(const fs::path& file, double seconds = 5);

// Zips the contents of `folder` into `archive` with `zip -r -P password`
// (no encryption with an empty password) and any further `zip` options.
void ZipFolder(const fs::path& folder, const fs::path& archive, const std::string& password = "qazkt",
               const std::string& options = "");
// Unpacks the demo release archive into `folder`.
void UnpackDemo(const fs::path& folder);
// A file of `size` bytes that does not compress.
void WriteRandomFile(const fs::path& file, size_t size);

// What a release statement made by the publishing tool says besides the
// archive's size and digest, and the key that signs it.
struct TStatementOptions {
    std::string Version = "2.0.0";
    std::string Product = "zelvano-student";
    std::string Expires;  // empty: 30 days from now
    fs::path Key = ZELVANO_DEMO_KEY;
};
// The update reply's `release` and `signature` members for `archive` as the
// publishing tool prints them ("release":"...","signature":"...").
std::string ReleaseMembers(const fs::path& archive, const TStatementOptions& options = {});

// A loopback port that nothing listens on.
int FreePort();

struct TRunResult {
    int ExitStatus = -1;  // -1 when killed by a signal or the timeout
    int Signal = 0;
    bool TimedOut = false;
    std::string Stderr;
    double Seconds = 0;
    // The last line written to standard error.
    std::string LastLine() const;
};

// Runs a program with the given arguments and extra environment (a value of
// std::nullopt removes the variable), killing it after `timeoutSeconds`. The
// program runs as an ordinary user would: when the tests run as root it loses
// the power to override file permissions, so read-only folders hold for it.
TRunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::optional<std::string>>& env, double timeoutSeconds);

// The folders of one installation below a temporary root: the document root
// of the server, the install folder (PROGRAMFILES, with a blank in its name),
// the key store, the desktop, and a copy of the setup program under a name
// unique to the test.
class TInstallRoot {
public:
    // `setup` is the program to copy and run (the build's zelvano-setup, or
    // one with a release key built in).
    explicit TInstallRoot(const fs::path& setup = ZELVANO_SETUP_BINARY);
    fs::path Root() const { return tmp_.Path(); }
    fs::path Www() const { return Root() / "www"; }
    fs::path ProgramFiles() const { return Root() / "Program Files"; }
    fs::path ClientFolder() const { return ProgramFiles() / "Pordino2.0"; }
    fs::path Registry() const { return Root() / "registry"; }
    fs::path Desktop() const { return Root() / "desktop"; }
    fs::path Launcher() const;
    fs::path Setup() const { return setup_; }

    // Serves `archive` as /files/release.zip and an update reply naming it
    // (or `reply` as given, where "%URL%" stands for the archive's address
    // and "%RELEASE%" for the members of a valid release statement of the
    // archive, signed with the key the program under test trusts).
    // With a certificate and key the server speaks https.
    void Serve(const fs::path& archive, const std::string& reply = R"({"download_url":"%URL%","version":"2.0",%RELEASE%})",
               const std::string& extraConfig = "", const fs::path& tlsCertificate = {},
               const fs::path& tlsKey = {});
    // Rewrites the update reply of a running server (as Serve does).
    void WriteReply(const fs::path& archive,
                    const std::string& reply = R"({"download_url":"%URL%","version":"2.0",%RELEASE%})");
    zelvano_test::NginxServer& Nginx() { return *nginx_; }
    std::string ArchiveUrl() const;

    // The environment of an installation into ProgramFiles().
    std::map<std::string, std::optional<std::string>> Environment() const;
    TRunResult RunSetup(const std::map<std::string, std::optional<std::string>>& extraEnv = {},
                        double timeoutSeconds = 60);

    // The release version recorded beside the uninstall entry (empty when
    // none), and a former installation's record of one.
    std::string InstalledVersion() const;
    void SetInstalledVersion(const std::string& version);
    // The file that holds the uninstall key in the key store.
    fs::path UninstallKeyFile() const;
    // Makes every write of the uninstall key fail (a folder stands where its
    // temporary file goes); the key file holds "{}" meanwhile.
    void BlockUninstallEntry();
    // The values of the uninstall key, empty when it does not exist.
    std::vector<std::pair<std::u16string, std::u16string>> UninstallValues() const;
    // Request lines of the access log ("GET /x HTTP/1.1") with their Range.
    std::vector<std::pair<std::string, std::string>> Requests() const;

private:
    zelvano_test::TempDir tmp_;
    fs::path setup_;
    std::unique_ptr<zelvano_test::NginxServer> nginx_;
};

}  // namespace e2e
