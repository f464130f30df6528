// Files, share modes and the shell on Windows: a file in use is a sharing
// violation, attributes are the system's, trees go through the shell's
// delete, programs start through ShellExecuteW.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "platform/codepage.h"
#include "platform/stream.h"
#include "tests/platform/win32/win32_test_util.h"

using namespace win32test;
using namespace platform;

namespace {

void MakeFile(const std::u16string& path, const std::string& text) {
    TFileStream file(path, fmCreate);
    file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
}

}  // namespace

TEST(Sharing, AFileInUseIsASharingViolation) {
    TempFolder dir;
    const std::u16string path = dir / u"in-use.bin";
    MakeFile(path, "data");
    {
        TFileStream holder(path, fmOpenRead | fmShareDenyWrite);
        // Readers that allow other readers may share it; writers may not.
        { TFileStream reader(path, fmOpenRead | fmShareDenyWrite); EXPECT_EQ(reader.GetSize(), 4); }
        try {
            TFileStream writer(path, fmOpenReadWrite | fmShareDenyNone);
            FAIL() << "no exception";
        } catch (const EFOpenError& e) {
            EXPECT_NE(e.Message().find(SystemMessage(ERROR_SHARING_VIOLATION)), std::u16string::npos)
                << e.what();
        }
        EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
        EXPECT_FALSE(DeleteFileUnlessInUse(path));
    }
    // The refused create did not truncate it; once closed it can go.
    EXPECT_EQ(GetFileStamp(path) != 0, true);
    { TFileStream again(path, fmOpenRead | fmShareDenyNone); EXPECT_EQ(again.GetSize(), 4); }
    EXPECT_TRUE(DeleteFileUnlessInUse(path));
    EXPECT_FALSE(FileExists(path));
}

TEST(Files, KindsTimesModesAndBothSeparators) {
    TempFolder dir;
    const std::u16string nested = dir.Path() + u"/a/b\\c";
    EXPECT_TRUE(ForceDirectories(nested));
    EXPECT_TRUE(DirectoryExists(dir / u"a\\b\\c"));
    EXPECT_EQ(GetFileKind(dir / u"a"), TFileKind::fkDirectory);
    EXPECT_EQ(GetFileKind(dir / u"missing"), TFileKind::fkNone);
    const std::u16string file = dir.Path() + u"/a/b/c/\u4e2d\u6587.txt";
    MakeFile(file, "x");
    EXPECT_EQ(GetFileKind(file), TFileKind::fkFile);
    EXPECT_TRUE(SetFileMTime(file, 1700000000));
    EXPECT_EQ(GetFileMTime(file), 1700000000);
    EXPECT_EQ(GetFileMode(file), 0666);
    EXPECT_TRUE(SetFileMode(file, 0444));
    EXPECT_EQ(GetFileMode(file), 0444);
    EXPECT_TRUE(SetFileMode(file, 0644));
    EXPECT_EQ(GetFileMode(file), 0666);
    EXPECT_TRUE(DeleteFile(file));
    EXPECT_FALSE(PathExists(file));
}

TEST(Shell, ListFolderGivesTheSystemsAttributes) {
    TempFolder dir;
    ASSERT_TRUE(ForceDirectories(dir / u"plain"));
    MakeFile(dir / u"file.txt", "x");
    MakeFile(dir / u"locked.txt", "x");
    SetFileAttributesW(W(dir / u"locked.txt"), FILE_ATTRIBUTE_READONLY);
    MakeFile(dir / u"secret.txt", "x");
    SetFileAttributesW(W(dir / u"secret.txt"), FILE_ATTRIBUTE_HIDDEN);
    std::vector<TFolderEntry> entries;
    ASSERT_TRUE(ListFolder(dir.Path(), entries));
    std::map<std::u16string, unsigned> attributes;
    for (const auto& e : entries) attributes[e.Name] = e.Attr;
    ASSERT_EQ(attributes.size(), 4u);
    EXPECT_EQ(attributes[u"plain"], static_cast<unsigned>(faDirectory));
    EXPECT_EQ(attributes[u"file.txt"], 0u);
    EXPECT_EQ(attributes[u"locked.txt"], static_cast<unsigned>(faReadOnly));
    EXPECT_EQ(attributes[u"secret.txt"], static_cast<unsigned>(faHidden));
    SetFileAttributesW(W(dir / u"locked.txt"), FILE_ATTRIBUTE_NORMAL);
    EXPECT_FALSE(ListFolder(dir / u"missing", entries));
}

TEST(Shell, DeleteTreeRemovesEverythingBelowAndReportsWhatItCannot) {
    TempFolder dir;
    const std::u16string tree = dir / u"tree";
    ASSERT_TRUE(ForceDirectories(tree + u"\\sub\\deeper"));
    MakeFile(tree + u"\\top.txt", "1");
    MakeFile(tree + u"\\sub\\deeper\\leaf.txt", "2");
    std::u16string error;
    EXPECT_TRUE(DeleteTree(tree, &error)) << std::string(error.begin(), error.end());
    EXPECT_FALSE(PathExists(tree));
    EXPECT_TRUE(DirectoryExists(dir.Path()));

    EXPECT_FALSE(DeleteTree(dir / u"missing", &error));
    EXPECT_EQ(error.rfind(u"Cannot delete " + (dir / u"missing") + u": ", 0), 0u);
}

TEST(Shell, ShellExecuteStartsTheProgramInTheWorkingFolder) {
    TempFolder dir;
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::u16string cmd = T(system) + u"\\cmd.exe";
    // cmd writes its current folder and its argument to a file there.
    ASSERT_TRUE(ShellExecute(cmd, {u"/c", u"cd", u">", u"started.txt"}, dir.Path()));
    const std::u16string started = dir / u"started.txt";
    // cmd holds the file while it writes it.
    std::string text;
    for (int i = 0; i < 200 && text.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        try {
            TFileStream file(started, fmOpenRead | fmShareDenyWrite);
            text.resize(static_cast<size_t>(file.GetSize()));
            file.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
        } catch (const EFOpenError&) {
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    std::u16string folder = dir.Path();
    EXPECT_EQ(text, std::string(folder.begin(), folder.end()));

    EXPECT_FALSE(ShellExecute(dir / u"missing.exe", {}, dir.Path()));
    EXPECT_FALSE(ShellExecute(cmd, {}, dir / u"missing"));
}
