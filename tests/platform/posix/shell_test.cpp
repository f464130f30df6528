#include "platform/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#include "platform/codepage.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

fs::path TempDir(const std::string& tag) {
    fs::path p = fs::temp_directory_path() / ("zelvano-shell-" + std::to_string(getpid()) + "-" + tag);
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
}

std::u16string T(const fs::path& p) { return Utf8ToText(p.string()); }

std::string Slurp(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Waits up to three seconds for a file to appear with content.
std::string WaitForFile(const fs::path& name) {
    for (int i = 0; i < 300; ++i) {
        std::string s = Slurp(name);
        if (!s.empty() && s.back() == '\n') return s;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

}  // namespace

TEST(Shell, ListFolderGivesWindowsStyleAttributes) {
    fs::path dir = TempDir("list");
    fs::create_directory(dir / "plain");
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_write, fs::perm_options::remove);
    fs::create_directory(dir / ".hidden");
    std::ofstream(dir / "file.txt") << "x";
    fs::create_directory_symlink(dir / "plain", dir / "link");
    fs::create_symlink(dir / "file.txt", dir / "filelink");

    std::vector<TFolderEntry> entries;
    ASSERT_TRUE(ListFolder(T(dir), entries));
    std::map<std::u16string, unsigned> attrs;
    for (const auto& e : entries) attrs[e.Name] = e.Attr;
    std::map<std::u16string, unsigned> expected = {
        {u"plain", faDirectory},
        {u"locked", faDirectory | faReadOnly},
        {u".hidden", faDirectory | faHidden},
        {u"file.txt", 0},
        {u"link", faDirectory | faSymLink},
        {u"filelink", faSymLink},
    };
    EXPECT_EQ(attrs, expected);
    EXPECT_FALSE(ListFolder(T(dir / "missing"), entries));
    fs::remove_all(dir);
}

TEST(Shell, DeleteTreeRemovesLinksButNeverWhatTheyPointAt) {
    fs::path dir = TempDir("delete");
    fs::path outside = dir / "outside";
    fs::create_directories(outside / "deep");
    std::ofstream(outside / "deep" / "keep.txt") << "keep";
    fs::path tree = dir / "Pordino2.0" / "Update";
    fs::create_directories(tree / "sub" / "subsub");
    std::ofstream(tree / "Version.zip") << "zip";
    std::ofstream(tree / "sub" / "subsub" / "f") << "f";
    fs::create_directory_symlink(outside, tree / "sub" / "dirlink");
    fs::create_symlink(outside / "deep" / "keep.txt", tree / "filelink");
    fs::permissions(tree / "sub", fs::perms::owner_write, fs::perm_options::remove);

    std::u16string error;
    EXPECT_TRUE(DeleteTree(T(tree) + u"/", &error)) << TextToUtf8(error);
    EXPECT_FALSE(fs::exists(tree));
    EXPECT_TRUE(fs::exists(dir / "Pordino2.0"));
    EXPECT_EQ(Slurp(outside / "deep" / "keep.txt"), "keep");

    // A link given as the tree itself is removed, its target kept.
    fs::create_directory_symlink(outside, dir / "toplink");
    EXPECT_TRUE(DeleteTree(T(dir / "toplink")));
    EXPECT_TRUE(fs::exists(outside / "deep" / "keep.txt"));

    EXPECT_FALSE(DeleteTree(T(dir / "missing"), &error));
    EXPECT_NE(error.find(u"Cannot delete"), std::u16string::npos);
    EXPECT_FALSE(DeleteTree(u"", &error));
    fs::remove_all(dir);
}

TEST(Shell, ForceDirectoriesCreatesTheWholeChain) {
    fs::path dir = TempDir("force");
    EXPECT_TRUE(ForceDirectories(T(dir / "A" / "Pordino2.0" / "Update")));
    EXPECT_TRUE(DirectoryExists(T(dir / "A" / "Pordino2.0" / "Update")));
    EXPECT_TRUE(ForceDirectories(T(dir / "A") + u"//Pordino2.0/"));
    std::ofstream(dir / "file") << "x";
    EXPECT_FALSE(ForceDirectories(T(dir / "file" / "sub")));
    EXPECT_TRUE(FileExists(T(dir / "file")));
    EXPECT_FALSE(FileExists(T(dir / "A")));
    EXPECT_TRUE(DeleteFile(T(dir / "file")));
    EXPECT_FALSE(DeleteFile(T(dir / "file")));
    fs::remove_all(dir);
}

TEST(Shell, ShellExecuteStartsDetachedInTheWorkingFolder) {
    fs::path dir = TempDir("exec");
    fs::path work = dir / "work dir";
    fs::create_directories(work);
    fs::path script = dir / "client.sh";
    std::ofstream(script) << "#!/bin/sh\n"
                             "echo \"$(pwd) $1 $(awk '{print $6}' /proc/$$/stat)\" > started.tmp\n"
                             "mv started.tmp started\n";
    fs::permissions(script, fs::perms::owner_all);

    ASSERT_TRUE(ShellExecute(T(script), {u"a b"}, T(work) + u"//"));
    std::string line = WaitForFile(work / "started");
    ASSERT_FALSE(line.empty());
    std::string expectedStart = work.string() + " a b ";
    EXPECT_EQ(line.substr(0, expectedStart.size()), expectedStart);
    pid_t session = std::stoi(line.substr(expectedStart.size()));
    EXPECT_NE(session, getsid(0));

    EXPECT_FALSE(ShellExecute(T(dir / "missing.exe"), {}, T(work)));
    EXPECT_FALSE(ShellExecute(T(script), {}, T(dir / "no-such-folder")));
    fs::remove_all(dir);
}

TEST(Shell, AFileLockedByAnotherProcessIsInUseUntilReleased) {
    fs::path dir = TempDir("inuse");
    fs::path file = dir / "Corvexa.exe";
    std::ofstream(file) << "old";
    // flock(1) holds an exclusive lock while its command runs.
    FILE* holder = popen(("flock -x '" + file.string() + "' -c 'echo locked; sleep 0.4'").c_str(), "r");
    ASSERT_NE(holder, nullptr);
    char line[16] = {};
    ASSERT_NE(fgets(line, sizeof line, holder), nullptr);
    EXPECT_FALSE(DeleteFileUnlessInUse(T(file)));
    EXPECT_TRUE(fs::exists(file));
    pclose(holder);
    EXPECT_TRUE(DeleteFileUnlessInUse(T(file)));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_FALSE(DeleteFileUnlessInUse(T(file)));
    fs::remove_all(dir);
}
