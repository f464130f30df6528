// What the tests need from the operating system, on both builds: temporary
// folders, environment variables, Unix shell commands (the archive tools,
// nginx, python) and this build's own programs.
//
// Linux: mkdtemp, setenv, popen.
// Windows (the test executables run under Wine): shell commands go to the
// Unix shell /usr/bin/dash, which Wine starts as a Unix program. Wine hands a
// Windows parent neither the pipes nor the exit status of a Unix child, so
// the command's output and status come back through files in a folder of
// its own. Temporary folders live below Z:\tmp, which is /tmp for the Unix
// side; ShellQuote turns such paths into their Unix form.
//
// The definitions are in test_system.cpp, so that no system header reaches
// the tests through this one.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace zelvano_test {

// The path as a Unix program sees it: on Windows "Z:\tmp\x" becomes
// "/tmp/x" (Wine's drive Z: is the Unix root); elsewhere unchanged.
std::string UnixPath(std::string path);

// One argument for the Unix shell, in single quotes (paths in Unix form).
std::string ShellQuote(const std::string& s);

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// A new folder "<prefix>-..." below the temporary folder (Z:\tmp under
// Wine, so that Unix programs reach it too).
std::filesystem::path MakeTempDir(const std::string& prefix);

// Removes a folder and everything below it, read-only folders included.
// Symbolic links below it are removed, never followed: under Wine a Linux
// link deleted through the Windows calls takes the file it names with it, so
// there the Unix side (rm) removes the tree.
void RemoveTree(const std::filesystem::path& dir);

std::string ReadWholeFile(const std::filesystem::path& file);

struct CommandResult {
    int Status = -1;     // the exit status, -1 when the command did not end normally
    std::string Output;  // standard output (and standard error when asked)
};

// Runs a command of the Unix shell and waits for it. Standard error goes
// with the output when `withErrors`, else to the test's standard error.
CommandResult RunShell(const std::string& command, bool withErrors = false);

// Runs a shell command and returns its standard output; throws on failure.
std::string RunCommand(const std::string& command);

// Runs a program of this build (path and arguments, no shell) in `folder`
// and waits for it; standard output and error are both captured.
CommandResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder = {});

}  // namespace zelvano_test
