#include "tests/e2e/e2e_support.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/registry.h"

extern char** environ;

namespace e2e {

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& file, const std::string& content) {
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

std::string WaitForFile(const fs::path& file, double seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::string s = Slurp(file);
        if (!s.empty()) return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

void ZipFolder(const fs::path& folder, const fs::path& archive, const std::string& password,
               const std::string& options) {
    fs::remove(archive);
    std::string encryption = password.empty() ? "" : "-P " + zelvano_test::ShellQuote(password) + " ";
    zelvano_test::RunCommand("cd " + zelvano_test::ShellQuote(folder.string()) + " && zip -q -r -X " + encryption +
                             options + " " + zelvano_test::ShellQuote(archive.string()) + " .");
}

void UnpackDemo(const fs::path& folder) {
    fs::create_directories(folder);
    zelvano_test::RunCommand("unzip -q -o -P qazkt " + zelvano_test::ShellQuote(ZELVANO_DEMO_ARCHIVE) + " -d " +
                             zelvano_test::ShellQuote(folder.string()));
}

void WriteRandomFile(const fs::path& file, size_t size) {
    std::mt19937_64 random(size);
    std::string data(size, '\0');
    for (auto& c : data) c = static_cast<char>(random());
    WriteFile(file, data);
}

int FreePort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

std::string TRunResult::LastLine() const {
    std::string s = Stderr;
    while (!s.empty() && s.back() == '\n') s.pop_back();
    size_t cut = s.rfind('\n');
    return cut == std::string::npos ? s : s.substr(cut + 1);
}

TRunResult RunProgram(const fs::path& program, const std::vector<std::string>& args,
                      const std::map<std::string, std::optional<std::string>>& env, double timeoutSeconds) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e; ++e) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : env) {
        if (v) merged[k] = *v;
        else merged.erase(k);
    }
    std::vector<std::string> envStrings, argStrings = {program.string()};
    for (const auto& [k, v] : merged) envStrings.push_back(k + "=" + v);
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> envp, argv;
    for (auto& s : envStrings) envp.push_back(s.data());
    for (auto& s : argStrings) argv.push_back(s.data());
    envp.push_back(nullptr);
    argv.push_back(nullptr);

    char errName[] = "/tmp/zelvano-e2e-stderr-XXXXXX";
    int errFd = mkstemp(errName);
    unlink(errName);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        // Dropped from the bounding set, these are gone after exec also for
        // root (an ordinary user never had them; then the calls just fail).
        for (int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
        dup2(errFd, 2);
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    TRunResult result;
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (std::chrono::steady_clock::now() - start > std::chrono::duration<double>(timeoutSeconds)) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.TimedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    result.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (WIFEXITED(status) && !result.TimedOut) result.ExitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.Signal = WTERMSIG(status);
    lseek(errFd, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(errFd, buf, sizeof buf)) > 0) result.Stderr.append(buf, static_cast<size_t>(n));
    close(errFd);
    return result;
}

TInstallRoot::TInstallRoot(const fs::path& setup) : tmp_("zelvano-e2e") {
    for (const auto& p : {Www(), ProgramFiles(), Registry(), Desktop(), Root() / "bin"}) fs::create_directories(p);
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "zelvano-setup-" + std::to_string(getpid()) + "-" + (info ? info->name() : "run");
    for (auto& c : name)
        if (!isalnum(static_cast<unsigned char>(c)) && c != '-') c = '-';
    setup_ = Root() / "bin" / name;
    fs::copy_file(setup, setup_);
}

fs::path TInstallRoot::Launcher() const { return Desktop() / "Zelvano\xe5\x9c\xa8\xe7\xba\xbf" "2.0.desktop"; }

std::string TInstallRoot::ArchiveUrl() const { return nginx_->BaseURL() + "/files/release.zip"; }

std::string ReleaseMembers(const fs::path& archive, const TStatementOptions& options) {
    zelvano_test::TempDir work("zelvano-statement");
    std::string command = std::string(ZELVANO_RELEASE_TOOL) + " -k " + zelvano_test::ShellQuote(options.Key.string()) +
                          " -v " + zelvano_test::ShellQuote(options.Version) + " -p " +
                          zelvano_test::ShellQuote(options.Product) + " -o " +
                          zelvano_test::ShellQuote((work.Path() / "release.json").string());
    command += options.Expires.empty() ? " -d 30" : " -e " + zelvano_test::ShellQuote(options.Expires);
    std::string members = zelvano_test::RunCommand(command + " " + zelvano_test::ShellQuote(archive.string()));
    while (!members.empty() && (members.back() == '\n' || members.back() == '\r')) members.pop_back();
    return members;
}

void TInstallRoot::Serve(const fs::path& archive, const std::string& reply, const std::string& extraConfig,
                         const fs::path& tlsCertificate, const fs::path& tlsKey) {
    if (!archive.empty()) {
        fs::create_directories(Www() / "files");
        fs::copy_file(archive, Www() / "files" / "release.zip", fs::copy_options::overwrite_existing);
    }
    nginx_ = std::make_unique<zelvano_test::NginxServer>(Www(), extraConfig, tlsCertificate, tlsKey);
    WriteReply(archive, reply);
}

void TInstallRoot::WriteReply(const fs::path& archive, const std::string& reply) {
    std::string text = std::regex_replace(reply, std::regex("%URL%"), ArchiveUrl());
    const size_t release = text.find("%RELEASE%");
    if (release != std::string::npos) {
        // Signed for the archive served, or for the demo archive when none is.
        text.replace(release, 9, ReleaseMembers(archive.empty() ? fs::path(ZELVANO_DEMO_ARCHIVE) : archive));
    }
    WriteFile(Www() / "api" / "autodownload" / "student", text);
}

std::map<std::string, std::optional<std::string>> TInstallRoot::Environment() const {
    return {
        {"QT_QPA_PLATFORM", "offscreen"},
        {"PROGRAMFILES", ProgramFiles().string()},
        {"ZELVANO_REGISTRY_DIR", Registry().string()},
        {"ZELVANO_DESKTOP_DIR", Desktop().string()},
        {"ZELVANO_UPDATE_SERVER", nginx_ ? std::optional<std::string>(nginx_->BaseURL()) : std::nullopt},
        {"ZELVANO_WINDOWS_VERSION", std::nullopt},
        {"DISPLAY", std::nullopt},
        {"WAYLAND_DISPLAY", std::nullopt},
    };
}

TRunResult TInstallRoot::RunSetup(const std::map<std::string, std::optional<std::string>>& extraEnv,
                                  double timeoutSeconds) {
    auto env = Environment();
    for (const auto& [k, v] : extraEnv) env[k] = v;
    return RunProgram(setup_, {"/silent"}, env, timeoutSeconds);
}

fs::path TInstallRoot::UninstallKeyFile() const {
    return Registry() / "HKEY_LOCAL_MACHINE/SOFTWARE/Wow6432Node/Microsoft/Windows/CurrentVersion/Uninstall/"
                        "Zelvano\xe5\x9c\xa8\xe7\xba\xbf.json";
}

void TInstallRoot::BlockUninstallEntry() {
    WriteFile(UninstallKeyFile(), "{}\n");
    fs::create_directories(UninstallKeyFile().string() + ".tmp");
}

std::vector<std::pair<std::u16string, std::u16string>> TInstallRoot::UninstallValues() const {
    const char* old = std::getenv("ZELVANO_REGISTRY_DIR");
    std::string saved = old ? old : "";
    setenv("ZELVANO_REGISTRY_DIR", Registry().c_str(), 1);
    platform::TRegistry reg;
    std::vector<std::pair<std::u16string, std::u16string>> values;
    if (reg.OpenKey(u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf",
                    false))
        values = reg.Values();
    if (old) setenv("ZELVANO_REGISTRY_DIR", saved.c_str(), 1);
    else unsetenv("ZELVANO_REGISTRY_DIR");
    return values;
}

std::vector<std::pair<std::string, std::string>> TInstallRoot::Requests() const {
    std::vector<std::pair<std::string, std::string>> requests;
    // An https server's lines end with the TLS protocol and the session mark.
    static const std::regex line(R"re(^\d+ \d+ "([^"]*)" "([^"]*)" \d+ \d+( \S+ \S+)?$)re");
    for (const auto& l : nginx_->AccessLog()) {
        std::smatch m;
        if (std::regex_match(l, m, line)) requests.emplace_back(m[1], m[2]);
    }
    return requests;
}

}  // namespace e2e

namespace e2e {

namespace {

// Runs `use` on the uninstall key of this installation's key store.
template <class F>
void WithUninstallKey(const fs::path& registry, bool create, F use) {
    const char* old = std::getenv("ZELVANO_REGISTRY_DIR");
    std::string saved = old ? old : "";
    setenv("ZELVANO_REGISTRY_DIR", registry.c_str(), 1);
    platform::TRegistry reg;
    if (reg.OpenKey(u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano\u5728\u7ebf",
                    create))
        use(reg);
    if (old)
        setenv("ZELVANO_REGISTRY_DIR", saved.c_str(), 1);
    else
        unsetenv("ZELVANO_REGISTRY_DIR");
}

}  // namespace

std::string TInstallRoot::InstalledVersion() const {
    std::string version;
    WithUninstallKey(Registry(), false, [&](platform::TRegistry& reg) {
        if (reg.ValueExists(u"ReleaseVersion")) version = platform::TextToUtf8(reg.ReadString(u"ReleaseVersion"));
    });
    return version;
}

void TInstallRoot::SetInstalledVersion(const std::string& version) {
    WithUninstallKey(Registry(), true,
                     [&](platform::TRegistry& reg) { reg.WriteString(u"ReleaseVersion", platform::Utf8ToText(version)); });
}

}  // namespace e2e
