// The services as a standard installation meets them on users' machines:
// the registry view of the uninstall entry, the public desktop, the client
// started as the signed-in user, names and paths Windows cannot take as
// they are, and sockets on systems that refuse the no-inherit flag.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/shell.h"
#include "platform/stream.h"
#include "platform/win32/win32.h"
#include "tests/platform/win32/win32_test_util.h"

#include <shlobj.h>

using namespace win32test;
namespace win32 = platform::win32;

TEST(RegistryView, KeysThroughWow6432NodeOpenInThe32BitView) {
    struct Case {
        std::u16string key;
        std::wstring path;
        REGSAM view;
    } cases[] = {
        {u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Z",
         L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Z", KEY_WOW64_32KEY},
        {u"software\\WOW6432NODE\\x", L"software\\x", KEY_WOW64_32KEY},
        {u"SOFTWARE\\Microsoft\\Z", L"SOFTWARE\\Microsoft\\Z", 0},
        {u"SOFTWARE\\Wow6432NodeX\\Z", L"SOFTWARE\\Wow6432NodeX\\Z", 0},
        {u"SOFTWARE\\Wow6432Node", L"SOFTWARE\\Wow6432Node", 0},
    };
    for (const auto& c : cases) {
        const win32::TKeyLocation location = win32::KeyPath(c.key);
        EXPECT_EQ(location.Path, c.path);
        EXPECT_EQ(location.View, c.view);
    }

    // Written through the redirected name, the entry is read where the
    // system's own list of programs reads 32-bit entries.
    const std::u16string key = u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZelvanoView";
    platform::TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key, true));
    reg.WriteString(u"DisplayName", u"view");
    HKEY opened = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ZelvanoView",
                            0, KEY_READ | KEY_WOW64_32KEY, &opened),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    EXPECT_TRUE(reg.KeyExists(key));
    EXPECT_TRUE(reg.DeleteKey(key));
    EXPECT_FALSE(reg.KeyExists(key));
}

TEST(PublicDesktop, AllUsersIsTheCommonDesktop) {
    // Asked for, the public desktop is there (made when it was missing).
    const std::u16string allUsers = platform::DesktopFolder(platform::TDesktop::AllUsers);
    EXPECT_TRUE(platform::DirectoryExists(allUsers));
    wchar_t common[MAX_PATH] = {}, own[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, own), S_OK);
    EXPECT_EQ(allUsers, T(common));
    EXPECT_EQ(platform::DesktopFolder(platform::TDesktop::CurrentUser), T(own));
    EXPECT_NE(T(common), T(own));
}

// Wine has no desktop shell to ask: the start falls back to ShellExecute,
// in the folder given.
TEST(StartAsDesktopUser, StartsTheProgramInItsFolderAndRefusesWhatIsMissing) {
    TempFolder dir;
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    const std::u16string cmd = T(system) + u"\\cmd.exe";
    const std::u16string batch = dir / u"start.bat";
    {
        platform::TFileStream file(batch, platform::fmCreate);
        const std::string text = "cd > started.txt\r\n";
        file.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    }
    ASSERT_TRUE(platform::StartAsDesktopUser(batch, dir.Path()));
    std::string text;
    for (int i = 0; i < 200 && text.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        try {
            platform::TFileStream file(dir / u"started.txt", platform::fmOpenRead | platform::fmShareDenyWrite);
            text.resize(static_cast<size_t>(file.GetSize()));
            file.ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
        } catch (const platform::EFOpenError&) {
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    const std::u16string folder = dir.Path();
    EXPECT_EQ(text, std::string(folder.begin(), folder.end()));
    EXPECT_FALSE(platform::StartAsDesktopUser(dir / u"missing.exe", dir.Path()));
    EXPECT_FALSE(platform::StartAsDesktopUser(cmd, dir / u"missing"));
}

TEST(FileNames, ForbiddenCharactersAndTrailingDotsBecomeUnderscores) {
    struct Case {
        std::u16string stored, usable;
    } cases[] = {
        {u"What?.txt", u"What_.txt"}, {u"a:b", u"a_b"},       {u"<>\"|*", u"_____"},
        {u"tab\there", u"tab_here"},  {u"notes.", u"notes_"}, {u"trail  ", u"trail__"},
        {u"a. .", u"a___"},           {u"ok.txt", u"ok.txt"}, {u"\u8a31\u529f\u84cb", u"\u8a31\u529f\u84cb"},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::UsableFileName(c.stored), c.usable);
    EXPECT_TRUE(platform::FileNamesIgnoreCase());
}

// Paths past the classic limit of 260 characters: folders, files, listing,
// attributes and deletion.
TEST(LongPaths, FilesBeyondTheClassicLimitWork) {
    TempFolder dir;
    std::u16string folder = dir.Path();
    for (int k = 0; folder.size() < 300; ++k) folder += u"\\folder-with-a-long-name-" + std::u16string(1, u'a' + k);
    const std::u16string file = folder + u"\\client.txt";
    ASSERT_GT(file.size(), static_cast<size_t>(MAX_PATH));
    EXPECT_EQ(win32::FilePath(file).rfind(L"\\\\?\\", 0), 0u);
    EXPECT_EQ(win32::FilePath(u"C:\\short\\name.txt"), L"C:\\short\\name.txt");
    ASSERT_TRUE(platform::ForceDirectories(folder));
    {
        platform::TFileStream out(file, platform::fmCreate);
        out.WriteBuffer("long", 4);
    }
    EXPECT_EQ(platform::GetFileKind(file), platform::TFileKind::fkFile);
    EXPECT_TRUE(platform::FileExists(file));
    EXPECT_TRUE(platform::SetFileMode(file, 0444));
    EXPECT_EQ(platform::GetFileMode(file), 0444);
    EXPECT_TRUE(platform::SetFileMode(file, 0666));
    std::vector<platform::TFolderEntry> entries;
    ASSERT_TRUE(platform::ListFolder(folder, entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].Name, u"client.txt");
    EXPECT_TRUE(platform::DeleteFile(file));
    EXPECT_FALSE(platform::PathExists(file));
}

namespace {

int refusals = 0;

// Windows 7 before SP1: the no-inherit flag is refused as an invalid argument.
SOCKET OpenWithoutTheFlag(int family, DWORD flags) {
    if (flags & WSA_FLAG_NO_HANDLE_INHERIT) {
        ++refusals;
        WSASetLastError(WSAEINVAL);
        return INVALID_SOCKET;
    }
    return WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, flags);
}

}  // namespace

TEST(Sockets, NoInheritFlagRefusedFallsBackToAnUninheritableHandle) {
    win32::EnsureWinsock();
    SOCKET s = win32::OpenUninheritedSocket(AF_INET, OpenWithoutTheFlag);
    ASSERT_NE(s, INVALID_SOCKET);
    EXPECT_EQ(refusals, 1);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(reinterpret_cast<HANDLE>(s), &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
    closesocket(s);
    // Where the flag is known, it is used as it is.
    s = win32::OpenUninheritedSocket(AF_INET);
    ASSERT_NE(s, INVALID_SOCKET);
    closesocket(s);
}
