#include "platform/stream.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>
#ifndef _WIN32
#include <sys/file.h>
#endif

#include <cstdio>
#include <filesystem>

using namespace platform;

namespace {
std::string TempPath(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::to_string(getpid()) + name)).string();
}
}  // namespace

TEST(MemoryStream, WritesPastTheEndZeroFillTheGapAndReadBack) {
    TMemoryStream m;
    m.WriteBuffer("abc", 3);
    m.SetPosition(5);
    m.WriteBuffer("z", 1);
    EXPECT_EQ(m.GetSize(), 6);
    EXPECT_EQ(m.View(), std::string_view("abc\0\0z", 6));
    m.SetPosition(1);
    char buf[8] = {};
    EXPECT_EQ(m.Read(buf, 8), 5);
    EXPECT_THROW(m.ReadBuffer(buf, 1), EReadError);
    m.SetSize(2);
    EXPECT_EQ(m.GetPosition(), 2);
    EXPECT_EQ(m.View(), "ab");
}

TEST(FileStream, CreateTruncatesAndReadsBack) {
    std::string path = TempPath("-stream.bin");
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer("hello world", 11);
    }
    {
        TFileStream f(path, fmCreate);
        f.WriteBuffer("hi", 2);
    }
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(f.GetSize(), 2);
    TMemoryStream m;
    m.CopyFrom(f, 0);
    EXPECT_EQ(m.View(), "hi");
    std::remove(path.c_str());
}

TEST(FileStream, OpenErrorsNameTheFile) {
    try {
        TFileStream f(std::string("/nonexistent-dir/x"), fmOpenRead);
        FAIL() << "no exception";
    } catch (const EFOpenError& e) {
#ifdef _WIN32
        // The reason is the system's message text, which varies by version.
        const std::string prefix = "Cannot open file \"/nonexistent-dir/x\". ";
        EXPECT_EQ(std::string(e.what()).rfind(prefix, 0), 0u);
        EXPECT_GT(std::string(e.what()).size(), prefix.size() + 4);
#else
        EXPECT_EQ(std::string(e.what()), "Cannot open file \"/nonexistent-dir/x\". No such file or directory");
#endif
    }
    EXPECT_THROW(TFileStream(std::string("/nonexistent-dir/x"), fmCreate), EFCreateError);
}

#ifndef _WIN32
// A folder that opens but cannot be read is POSIX behaviour.
TEST(FileStream, ReadErrorsAreRaisedNotTakenForTheEnd) {
    // A folder opens on this system but cannot be read.
    TFileStream folder(std::filesystem::temp_directory_path().string(), fmOpenRead | fmShareDenyNone);
    char buf[16];
    try {
        folder.Read(buf, sizeof buf);
        FAIL() << "no exception";
    } catch (const EReadError& e) {
        EXPECT_EQ(std::string(e.what()), "Stream read error. Is a directory");
    }
}

// Linux emulates share modes with flock(); the Windows share modes are the
// system's own (win32/sharing_test.cpp).
TEST(FileStream, ShareModesSeeLocksOfOtherOpeners) {
    std::string path = TempPath("-locked.bin");
    { TFileStream f(path, fmCreate); f.WriteBuffer("data", 4); }
    int other = ::open(path.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(other, LOCK_EX), 0);  // another process holding the file
    EXPECT_THROW(TFileStream(path, fmCreate), EFCreateError);
    EXPECT_THROW(TFileStream(path, fmOpenRead | fmShareDenyWrite), EFOpenError);
    { TFileStream reader(path, fmOpenRead | fmShareDenyNone); EXPECT_EQ(reader.GetSize(), 4); }
    ::close(other);
    // The locked open did not truncate the file.
    TFileStream again(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(again.GetSize(), 4);
    std::remove(path.c_str());
}

TEST(FileStream, CreateOnADeviceDoesNotTruncate) {
    TFileStream sink(std::string("/dev/null"), fmCreate);
    EXPECT_EQ(sink.Write("abc", 3), 3);
}
#endif
