// The desktop shortcut is a real shell link: what TShellLink saves is read
// back through IShellLinkW.
#include "platform/desktop.h"

#include <gtest/gtest.h>

#include "tests/platform/win32/win32_test_util.h"

#include <objbase.h>
#include <shlobj.h>

using namespace win32test;

TEST(Desktop, FolderIsTheShellsDesktop) {
    std::u16string folder = platform::DesktopFolder();
    wchar_t expected[MAX_PATH] = {};
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, expected), S_OK);
    EXPECT_EQ(folder, T(expected));
    EXPECT_TRUE(platform::DirectoryExists(folder));
    // The shortcut keeps the name it is given.
    EXPECT_EQ(platform::LauncherFileName(u"Zelvano\u5728\u7ebf2.0.lnk"), u"Zelvano\u5728\u7ebf2.0.lnk");
}

TEST(Desktop, ShortcutIsAShellLinkWithTargetArgumentsFolderAndDescription) {
    TempFolder program;
    const std::u16string target = program / u"zelvano.exe";
    CloseHandle(CreateFileW(W(target), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    const std::u16string linkFile = platform::DesktopFolder() + u"\\Zelvano\u5728\u7ebf2.0.lnk";
    DeleteFileW(W(linkFile));

    platform::TShellLink link;
    link.Path = target;
    link.Arguments = u"/update \"two words\"";
    link.WorkingDirectory = program.Path();
    link.Description = u"Zelvano\u5728\u7ebf";
    ASSERT_TRUE(link.Save(linkFile));
    link.Description = u"replaced";
    ASSERT_TRUE(link.Save(linkFile));  // an existing shortcut is replaced

    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    IShellLinkW* shell = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                               reinterpret_cast<void**>(&shell)),
              S_OK);
    IPersistFile* file = nullptr;
    ASSERT_EQ(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
    ASSERT_EQ(file->Load(W(linkFile), STGM_READ), S_OK);
    wchar_t text[MAX_PATH] = {};
    EXPECT_EQ(shell->GetPath(text, MAX_PATH, nullptr, 0), S_OK);
    EXPECT_EQ(T(text), target);
    EXPECT_EQ(shell->GetArguments(text, MAX_PATH), S_OK);
    EXPECT_EQ(T(text), u"/update \"two words\"");
    EXPECT_EQ(shell->GetWorkingDirectory(text, MAX_PATH), S_OK);
    EXPECT_EQ(T(text), program.Path());
    EXPECT_EQ(shell->GetDescription(text, MAX_PATH), S_OK);
    EXPECT_EQ(T(text), u"replaced");
    file->Release();
    shell->Release();
    CoUninitialize();
    EXPECT_TRUE(DeleteFileW(W(linkFile)));
}

TEST(Desktop, AShortcutInAMissingFolderIsNotSaved) {
    platform::TShellLink link;
    link.Path = u"C:\\windows\\notepad.exe";
    EXPECT_FALSE(link.Save(u"C:\\no-such-folder-zelvano\\x.lnk"));
}
