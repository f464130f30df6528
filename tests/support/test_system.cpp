#include "tests/support/test_system.h"


#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#undef DeleteFile
#undef GetEnvironmentVariable
#undef ShellExecute
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zelvano_test {

// The path as a Unix program sees it: on Windows "Z:\tmp\x" becomes
// "/tmp/x" (Wine's drive Z: is the Unix root); elsewhere unchanged.
std::string UnixPath(std::string path) {
#ifdef _WIN32
    if (path.size() >= 2 && (path[0] == 'Z' || path[0] == 'z') && path[1] == ':') path.erase(0, 2);
    for (auto& c : path)
        if (c == '\\') c = '/';
#endif
    return path;
}

// One argument for the Unix shell, in single quotes (paths in Unix form).
std::string ShellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : UnixPath(s)) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
    SetEnvironmentVariableA(name.c_str(), value.c_str());
    _putenv_s(name.c_str(), value.c_str());
#else
    ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name) {
#ifdef _WIN32
    SetEnvironmentVariableA(name.c_str(), nullptr);
    _putenv_s(name.c_str(), "");
#else
    ::unsetenv(name.c_str());
#endif
}

// A new folder "<prefix>-XXXXXX" below the temporary folder (Z:\tmp under
// Wine, so that Unix programs reach it too).
std::filesystem::path MakeTempDir(const std::string& prefix) {
#ifdef _WIN32
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = "Z:\\tmp\\" + prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++counter) + "-" + std::to_string(GetTickCount() % 100000);
        if (CreateDirectoryA(name.c_str(), nullptr)) return name;
    }
    throw std::runtime_error("cannot make a temporary folder");
#else
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
    return buf.data();
#endif
}

void RemoveTree(const std::filesystem::path& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(dir, ec))) return;
#ifdef _WIN32
    // chmod -R leaves the links it meets alone; rm -rf removes them as links.
    const std::string quoted = ShellQuote(dir.string());
    RunShell("chmod -R u+rwx " + quoted + " 2>/dev/null; rm -rf " + quoted);
#else
    // Only folders are opened up: chmod on a link would change what it names.
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->symlink_status(ec).type() == fs::file_type::directory)
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
#endif
}

std::string ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs a command of the Unix shell and waits for it. Standard error goes
// with the output when `withErrors`, else to the test's standard error.
CommandResult RunShell(const std::string& command, bool withErrors) {
    CommandResult result;
#ifdef _WIN32
    const std::filesystem::path work = MakeTempDir("zelvano-shell");
    const std::string unixWork = UnixPath(work.string());
    {
        std::ofstream script(work / "run.sh", std::ios::binary);
        script << "( " << command << "\n) >'" << unixWork << "/out' 2>"
               << (withErrors ? "&1" : "'" + unixWork + "/err'") << "\n"
               << "echo $? >'" << unixWork << "/status.tmp'\n"
               << "mv '" << unixWork << "/status.tmp' '" << unixWork << "/status'\n";
    }
    std::wstring line = L"dash " + std::filesystem::path(unixWork + "/run.sh").wstring();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(L"Z:\\usr\\bin\\dash", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &process)) {
        if (process.hProcess) CloseHandle(process.hProcess);
        if (process.hThread) CloseHandle(process.hThread);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
        while (!std::filesystem::exists(work / "status") && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::string status = ReadWholeFile(work / "status");
        if (!status.empty()) result.Status = std::atoi(status.c_str());
        result.Output = ReadWholeFile(work / "out");
        if (!withErrors) std::fputs(ReadWholeFile(work / "err").c_str(), stderr);
    }
    std::error_code ec;
    std::filesystem::remove_all(work, ec);
#else
    FILE* pipe = ::popen((command + (withErrors ? " 2>&1" : "")).c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
    int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

// Runs a shell command and returns its standard output; throws on failure.
std::string RunCommand(const std::string& command) {
    CommandResult result = RunShell(command);
    if (result.Status != 0) throw std::runtime_error("command failed: " + command + "\n" + result.Output);
    return result.Output;
}

// Runs a program of this build (path and arguments, no shell) in `folder`
// and waits for it; standard output and error are both captured.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder) {
    CommandResult result;
#ifdef _WIN32
    auto quote = [](const std::string& a) {
        if (!a.empty() && a.find_first_of(" \t\"") == std::string::npos) return a;
        std::string q = "\"";
        size_t slashes = 0;
        for (char c : a) {
            if (c == '\\') {
                ++slashes;
                continue;
            }
            q.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
            slashes = 0;
            q += c;
        }
        q.append(slashes * 2, '\\');
        return q + "\"";
    };
    std::string line = quote(program);
    for (const auto& a : args) line.append(" ").append(quote(a));
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::string dir = folder.string();
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  dir.empty() ? nullptr : dir.c_str(), &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char buffer[4096];
        DWORD n;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) result.Output.append(buffer, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.Status = static_cast<int>(code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(readEnd);
#else
    std::string command;
    if (!folder.empty()) command.append("cd ").append(ShellQuote(folder.string())).append(" && ");
    command += ShellQuote(program);
    for (const auto& a : args) command.append(" ").append(ShellQuote(a));
    result = RunShell(command, true);
#endif
    return result;
}

}  // namespace zelvano_test
