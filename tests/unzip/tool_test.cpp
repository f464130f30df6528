// The zelvano-unzip program: listing, testing, extracting, exit statuses.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "test_support.h"

#ifdef ZELVANO_UNZIP_TOOL

using namespace unziptest;

namespace {

struct Result {
    int status;
    std::string out;
};

// Runs the tool in `dir`; `args` are separated by spaces, a pattern may be
// in single quotes.
Result Tool(const TempDir& dir, const std::string& args) {
    std::vector<std::string> list;
    std::string arg;
    bool quoted = false;
    for (char c : args + " ") {
        if (c == '\'') quoted = !quoted;
        else if (c == ' ' && !quoted) {
            if (!arg.empty()) list.push_back(arg);
            arg.clear();
        } else arg += c;
    }
    auto run = zelvano_test::RunProgram(ZELVANO_UNZIP_TOOL, list, dir.path());
    return {run.Status, run.Output};
}

}  // namespace

TEST(Tool, ListTestAndExtract) {
    TempDir dir;
    WriteAll(dir / "t.zip", ZipWriter({{.name = "d/a.txt", .data = std::string(1000, 'a'), .method = 8},
                                        {.name = "b.log", .data = "bee"}}));
    Result list = Tool(dir, "-l t.zip");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("d/a.txt"), std::string::npos);
    EXPECT_NE(list.out.find("1000"), std::string::npos);
    EXPECT_EQ(Tool(dir, "-t t.zip").status, 0);

    Result all = Tool(dir, "-d x t.zip");
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(ReadAll(dir / "x/d/a.txt"), std::string(1000, 'a'));
    Result some = Tool(dir, "-j -d y t.zip '*.txt'");
    EXPECT_EQ(some.status, 0);
    EXPECT_EQ(ReadAll(dir / "y/a.txt"), std::string(1000, 'a'));
    EXPECT_FALSE(fs::exists(dir / "y/b.log"));
    // Into the current folder, refusing to overwrite.
    Result never = Tool(dir, "-o never t.zip");
    EXPECT_EQ(never.status, 0);
    never = Tool(dir, "-o never t.zip");
    EXPECT_EQ(never.status, 1);
    EXPECT_NE(never.out.find("skipped"), std::string::npos);
}

TEST(Tool, FailuresAndUnreadableArchives) {
    TempDir dir;
    WriteAll(dir / "crc.zip", ZipWriter({{.name = "bad.txt", .data = "data", .crc = 1}}));
    Result bad = Tool(dir, "-d o crc.zip");
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("bad CRC"), std::string::npos);
    EXPECT_EQ(Tool(dir, "-t crc.zip").status, 1);

    WriteAll(dir / "short.zip", "PK\x05");
    Result incomplete = Tool(dir, "short.zip");
    EXPECT_EQ(incomplete.status, 2);
    EXPECT_NE(incomplete.out.find("Incomplete Zip File"), std::string::npos);
    Result missing = Tool(dir, "nothing.zip");
    EXPECT_EQ(missing.status, 2);
}

// Methods outside the component (here bzip2, method 12, as 7z writes it)
// are named as such, also inside AES where a wrong password was reported.
TEST(Tool, UnsupportedMethodsAreNamed) {
    TempDir dir;
    std::string text;
    for (int k = 0; k < 500; ++k) text += "line " + std::to_string(k) + "\n";  // 7z stores tiny files
    WriteAll(dir / "a.txt", text);
    if (Shell("cd " + zelvano_test::ShellQuote(dir.path().string()) +
              " && 7z a -tzip -mm=BZip2 plain.zip a.txt && 7z a -tzip -mm=BZip2 -mem=AES256 -pqazkt aes.zip a.txt") !=
        0)
        GTEST_SKIP() << "7z cannot write bzip2 entries here";
    for (const std::string args : {"-d o plain.zip", "-P qazkt -d p aes.zip"}) {
        Result r = Tool(dir, args);
        EXPECT_EQ(r.status, 1) << args;
        EXPECT_NE(r.out.find("unsupported compression method 12"), std::string::npos) << args << "\n" << r.out;
        EXPECT_EQ(r.out.find("bad password"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("bad CRC"), std::string::npos) << r.out;
    }
    EXPECT_FALSE(fs::exists(dir / "o/a.txt"));
    EXPECT_FALSE(fs::exists(dir / "p/a.txt"));
}

TEST(Tool, PasswordOption) {
    TempDir dir;
    Result r = Tool(dir, std::string("-P 12345678 -d o ") + TestData("traditional.zip"));
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(dir / "o/foo.txt"));
    r = Tool(dir, std::string("-P wrong -d p ") + TestData("traditional.zip"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("bad password"), std::string::npos);
}

#endif
