// Processes through the tool-help snapshot: a child program started here is
// found by its file name and ended through TerminateProcess.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "tests/platform/win32/win32_test_util.h"

using namespace win32test;

// Run only as the child of the test below (a copy of this program under a
// name of its own): waits until it is ended.
TEST(ProcessChild, WaitsWhenStartedAsChild) {
    if (!std::getenv("ZELVANO_PROCESS_CHILD")) GTEST_SKIP() << "only as a child";
    Sleep(60000);
}

TEST(Processes, SnapshotFindsAChildByFileNameAndEndsIt) {
    TempFolder folder;
    const std::u16string name = u"zelvano-child-" +
                                std::u16string(reinterpret_cast<const char16_t*>(
                                    std::to_wstring(GetCurrentProcessId()).c_str())) +
                                u".exe";
    const std::u16string copy = folder / name;
    ASSERT_TRUE(CopyFileW(W(platform::CurrentExecutable()), W(copy), FALSE));

    SetEnvironmentVariableW(L"ZELVANO_PROCESS_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    std::u16string line = u"\"" + copy + u"\" --gtest_filter=ProcessChild.*";
    ASSERT_TRUE(CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &child));
    SetEnvironmentVariableW(L"ZELVANO_PROCESS_CHILD", nullptr);

    bool seen = false;
    for (const auto& entry : platform::ProcessSnapshot()) {
        if (entry.ProcessID == static_cast<int>(child.dwProcessId)) {
            seen = true;
            EXPECT_EQ(entry.ExeFile, name);
            EXPECT_TRUE(platform::ProcessMatches(entry, name));
        }
    }
    EXPECT_TRUE(seen);

    // The name in other letter case matches too; this program does not.
    std::u16string upper = name;
    for (auto& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    platform::EndProcessesNamed(upper);
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    for (const auto& entry : platform::ProcessSnapshot())
        EXPECT_NE(entry.ProcessID, static_cast<int>(child.dwProcessId));

    EXPECT_EQ(platform::CurrentProcessId(), static_cast<int>(GetCurrentProcessId()));
    EXPECT_FALSE(platform::KillProcess(0));
}
