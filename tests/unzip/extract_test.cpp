// Extraction of real archives made by zip, 7z and Python, and of archives
// written byte by byte for the corners: paths, overwrite rules, events,
// passwords, damaged data and the memory and stream targets.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <map>

#include "platform/files.h"
#include "test_support.h"
#include "unzip/UnZipper.h"

using namespace unzip;
using namespace unziptest;

namespace {

class Extract : public ::testing::Test {
protected:
    void SetUp() override {
        out = dir / "out";
        z.SetDestDir(U(out));
        z.DoProcessMessages = false;
        z.OnStartUnZip = [&](TUnZipper*, int, std::u16string& name, bool&) { log.push_back("start " + Name(name)); };
        z.OnEndUnZip = [&](TUnZipper*, int, const std::u16string& name) { log.push_back("end " + Name(name)); };
        z.OnSkippingFile = [&](TUnZipper*, TSkipReason r, const std::u16string& name, int, bool&) {
            log.push_back("skip " + std::to_string(r) + " " + Name(name));
        };
        z.OnBadCRC = [&](TUnZipper*, uint32_t, uint32_t, int i) { log.push_back("badcrc " + std::to_string(i)); };
    }
    // Paths in the log are given relative to the test folder.
    std::string Name(const std::u16string& name) {
        // (Windows paths may mix both separators; the log shows '/'.)
        std::string s = zelvano_test::UnixPath(std::string(name.begin(), name.end()));
        std::string base = zelvano_test::UnixPath(dir.path().string()) + "/";
        if (s.rfind(base, 0) == 0) s = s.substr(base.size());
        return s;
    }
    std::string Sh(const std::string& cmd) { return "cd " + zelvano_test::ShellQuote(dir.path().string()) + " && " + cmd; }
    void Open(const std::string& name) { z.SetZipName(U(dir / name)); }
    void OpenBytes(const std::string& bytes) {
        WriteAll(dir / "t.zip", bytes);
        z.SetZipName(U(dir / "t.zip"));
    }
    bool Has(const std::string& line) const {
        for (auto& l : log)
            if (l == line) return true;
        return false;
    }

    TempDir dir;
    fs::path out;
    TUnZipper z;
    std::vector<std::string> log;
};

}  // namespace

TEST_F(Extract, EveryOldMethodFixtureDecodes) {
    struct Case {
        const char* file;
        const char* password;
        int entries;
    };
    for (Case c : {Case{"example-s.zip", "", 1}, Case{"example-r.zip", "", 1}, Case{"example-i.zip", "", 1},
                   Case{"SHRUNK.ZIP", "", 2}, Case{"HWREDUCE.ZIP", "", 3}, Case{"imploding-4Kdict-2trees.zip", "", 1},
                   Case{"imploding-8Kdict-3trees.zip", "", 1}, Case{"aes128.zip", "password", 1},
                   Case{"aes256-stored.zip", "password", 1}, Case{"traditional.zip", "12345678", 2}}) {
        SCOPED_TRACE(c.file);
        TUnZipper u;
        u.SetZipName(U(TestData(c.file)));
        u.Password = c.password;
        EXPECT_TRUE(u.CheckArchive());
        u.DoAll = true;
        u.SetDestDir(U(out / c.file));
        EXPECT_EQ(u.UnZip(), c.entries);
    }
    // The three methods of the same 2048 bytes give the same bytes.
    std::string s = ReadAll(out / "example-s.zip/S.BIN");
    EXPECT_EQ(s.size(), 2048u);
    EXPECT_EQ(ReadAll(out / "example-r.zip/R.BIN"), s);
    EXPECT_EQ(ReadAll(out / "example-i.zip/I.BIN"), s);
    EXPECT_EQ(ReadAll(out / "aes128.zip/README"), ReadAll(out / "aes256-stored.zip/README"));
}

TEST_F(Extract, FoldersAndPathRule) {
    std::string py = "import zipfile\n"
                     "with zipfile.ZipFile('abc.zip', 'w') as z:\n"
                     "    z.writestr('a/b/c.txt', b'content')\n"
                     "    z.writestr('a/', b'')\n";
    WriteAll(dir / "mk.py", py);
    ASSERT_EQ(Shell(Sh("python3 mk.py")), 0);
    Open("abc.zip");
    z.DoAll = true;
    z.RecreateDirs = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(out / "a/b/c.txt"), "content");
    EXPECT_TRUE(fs::is_directory(out / "a"));

    TUnZipper flat;
    flat.SetZipName(U(dir / "abc.zip"));
    flat.SetDestDir(U(dir / "flat"));
    flat.DoAll = true;
    int starts = 0;
    flat.OnStartUnZip = [&](TUnZipper*, int, std::u16string&, bool&) { ++starts; };
    EXPECT_EQ(flat.UnZip(), 1);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(ReadAll(dir / "flat/c.txt"), "content");
    EXPECT_FALSE(fs::exists(dir / "flat/a"));
}

TEST_F(Extract, ZipToolArchives) {
    WriteAll(dir / "src/plain.txt", std::string(5000, 'p'));
    WriteAll(dir / "src/sub/deep.txt", "deep text\n");
    WriteAll(dir / "src/empty.txt", "");
    ASSERT_EQ(Shell(Sh("cd src && zip -r -0 ../stored.zip . && zip -r -6 ../deflated.zip .")), 0);
    for (const char* name : {"stored.zip", "deflated.zip"}) {
        SCOPED_TRACE(name);
        TUnZipper u;
        u.SetZipName(U(dir / name));
        u.SetDestDir(U(out / name));
        u.DoAll = true;
        u.RecreateDirs = true;
        EXPECT_EQ(u.UnZip(), 4);  // three files and the folder sub/
        EXPECT_EQ(ReadAll(out / name / "plain.txt"), std::string(5000, 'p'));
        EXPECT_EQ(ReadAll(out / name / "sub/deep.txt"), "deep text\n");
        EXPECT_TRUE(fs::exists(out / name / "empty.txt"));
        EXPECT_EQ(fs::file_size(out / name / "empty.txt"), 0u);
    }
}

TEST_F(Extract, TraditionalEncryptionIncludingStreamedEntries) {
    WriteAll(dir / "f.txt", std::string(3000, 'f'));
    ASSERT_EQ(Shell(Sh("zip -P secret enc.zip f.txt && printf 'from a pipe' | zip -P secret enc.zip -")), 0);
    Open("enc.zip");
    z.ReadZip();
    ASSERT_EQ(z.Count(), 2);
    EXPECT_TRUE(z.Entry(1).HasDescriptor());
    z.Password = "secret";
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(out / "f.txt"), std::string(3000, 'f'));
    EXPECT_EQ(ReadAll(out / "-"), "from a pipe");
}

TEST_F(Extract, StoredEncryptedEntryDecryptsAtTheOutputStage) {
    WriteAll(dir / "f.txt", "same plain bytes in both entries");
    ASSERT_EQ(Shell(Sh("zip -0 -P pw s.zip f.txt && zip -9 -P pw d.zip f.txt")), 0);
    for (const char* name : {"s.zip", "d.zip"}) {
        TUnZipper u;
        u.SetZipName(U(dir / name));
        u.Password = "pw";
        std::vector<uint8_t> buf;
        u.UnZipToBuffer(buf, u"f.txt");
        EXPECT_EQ(std::string(buf.begin(), buf.begin() + 32), "same plain bytes in both entries") << name;
    }
}

TEST_F(Extract, WrongPasswordSkipsOnlyThatEntry) {
    WriteAll(dir / "d/secret.txt", "hidden");
    WriteAll(dir / "d/open.txt", "visible");
    ASSERT_EQ(Shell(Sh("zip -P right w.zip d/secret.txt && zip w.zip d/open.txt")), 0);
    Open("w.zip");
    z.Password = "wrong";
    z.DoAll = true;
    z.RecreateDirs = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_TRUE(Has("start out/d/secret.txt"));
    EXPECT_TRUE(Has("skip 0 d/secret.txt"));
    EXPECT_FALSE(Has("end out/d/secret.txt"));
    EXPECT_FALSE(fs::exists(out / "d/secret.txt"));
    EXPECT_TRUE(fs::is_directory(out / "d"));
    EXPECT_EQ(ReadAll(out / "d/open.txt"), "visible");

    // A handler that supplies the right password gets the entry.
    log.clear();
    int asked = 0;
    z.OnBadPassword = [&](TUnZipper*, int, std::string& pw) {
        ++asked;
        pw = "right";
    };
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadAll(out / "d/secret.txt"), "hidden");
}

namespace {

// Turns a one-entry AE-2 archive from 7z into AE-1 by storing the real CRC.
std::string MakeAe1(std::string zip, uint32_t crc) {
    const std::string ae2("\x01\x99\x07\x00\x02\x00" "AE", 8);
    for (size_t p = zip.find(ae2); p != std::string::npos; p = zip.find(ae2, p + 1)) zip[p + 4] = 1;
    std::string c;
    Put32(c, crc);
    zip.replace(14, 4, c);
    zip.replace(zip.find("PK\x01\x02") + 16, 4, c);
    return zip;
}

}  // namespace

TEST_F(Extract, WinZipAesStrengthsMethodsAndVersions) {
    std::string data;
    for (int i = 0; i < 70000; ++i) data += static_cast<char>((i * 131) ^ (i >> 5));
    WriteAll(dir / "d.bin", data);
    for (const char* mem : {"AES128", "AES192", "AES256"}) {
        for (const char* level : {"-mx=0", "-mx=5"}) {
            SCOPED_TRACE(std::string(mem) + level);
            fs::remove(dir / "a.zip");
            ASSERT_EQ(Shell(Sh(std::string("7z a -tzip -mem=") + mem + " " + level + " -pkey a.zip d.bin")), 0);
            std::string ae2 = ReadAll(dir / "a.zip");
            for (int version : {2, 1}) {
                OpenBytes(version == 2 ? ae2 : MakeAe1(ae2, Crc(data)));
                z.Password = "key";
                std::vector<uint8_t> buf;
                z.UnZipToBuffer(buf, u"*");
                ASSERT_EQ(buf.size(), data.size() + 1);
                EXPECT_EQ(std::string(buf.begin(), buf.end() - 1), data) << "AE-" << version;
                z.SetZipName(u"");
            }
        }
    }
}

TEST_F(Extract, AesDamageIsCaughtByTheAuthenticationCode) {
    WriteAll(dir / "d.txt", std::string(1000, 'x'));
    ASSERT_EQ(Shell(Sh("7z a -tzip -mem=AES256 -mx=0 -pkey a.zip d.txt")), 0);
    std::string bytes = ReadAll(dir / "a.zip");
    size_t data = 30 + 5 + 11 + 16 + 2;  // header, name, AES extra, salt, verifier
    ASSERT_EQ(bytes.substr(30, 5), "d.txt");
    size_t extra = static_cast<unsigned char>(bytes[28]) | (static_cast<unsigned char>(bytes[29]) << 8);
    data = 30 + 5 + extra + 16 + 2;
    bytes[data + 100] ^= 0x01;
    OpenBytes(bytes);
    z.Password = "key";
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 0);
    EXPECT_TRUE(Has("skip 0 d.txt"));
    EXPECT_FALSE(fs::exists(out / "d.txt"));
    // A wrong AES password never gets as far as the data.
    log.clear();
    z.Password = "nope";
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 0);
    EXPECT_FALSE(Has("end out/d.txt"));
}

TEST_F(Extract, SplitArchive) {
    std::string data;
    for (int i = 0; i < 300000; ++i) data += static_cast<char>((i * 2654435761u) >> 24);
    WriteAll(dir / "big.bin", data);
    WriteAll(dir / "small.txt", "small");
    ASSERT_EQ(Shell(Sh("zip -0 -s 64k split.zip big.bin small.txt")), 0);
    ASSERT_TRUE(fs::exists(dir / "split.z01"));
    Open("split.zip");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(z.MultiMode, mmBlocks);
    EXPECT_EQ(ReadAll(out / "big.bin"), data);
    EXPECT_EQ(ReadAll(out / "small.txt"), "small");
}

TEST_F(Extract, CrcMismatchFailsTheEntryAndRemovesTheFile) {
    OpenBytes(ZipWriter({{.name = "good.txt", .data = "good"},
                         {.name = "bad.txt", .data = "bad data", .crc = 0x12345678},
                         {.name = "zero.txt", .data = "damaged but CRC 0", .crc = 0}}));
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_TRUE(Has("badcrc 1"));
    EXPECT_TRUE(Has("badcrc 2"));
    EXPECT_FALSE(fs::exists(out / "bad.txt"));
    EXPECT_FALSE(fs::exists(out / "zero.txt"));
    EXPECT_EQ(ReadAll(out / "good.txt"), "good");
}

TEST_F(Extract, EntriesLargerThanDeclaredNeverOutgrowTheirSize) {
    std::string bomb(200000, 'B');
    OpenBytes(ZipWriter({{.name = "bomb.txt", .data = bomb, .method = 8, .usize = 1000},
                         {.name = "long.txt", .data = "0123456789ABCDEFGHIJ", .usize = 10}}));
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 0);
    EXPECT_TRUE(Has("badcrc 0"));
    EXPECT_TRUE(Has("badcrc 1"));
    EXPECT_FALSE(fs::exists(out / "bomb.txt"));
    platform::TMemoryStream ms;
    z.UnZipToStream(ms, u"bomb.txt");
    EXPECT_LE(ms.GetSize(), 1000);
    std::vector<uint8_t> buf;
    z.UnZipToBuffer(buf, u"long.txt");
    EXPECT_EQ(buf.size(), 11u);
}

TEST_F(Extract, DeflateStreamsShorterOrLongerThanDeclared) {
    std::string text(5000, 't');
    std::string deflated = RawDeflate(text);
    // Trailing garbage after the deflate stream is not read; the CRC decides.
    OpenBytes(ZipWriter({{.name = "pad.txt", .data = text, .method = 8, .payload = deflated + "garbage"}}));
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    // A stream cut short runs out of input: the run ends with the zlib error.
    OpenBytes(ZipWriter({{.name = "cut.txt", .data = text, .method = 8, .payload = deflated.substr(0, deflated.size() / 2)}}));
    z.DoAll = true;
    int completes = 0;
    z.OnUnZipComplete = [&](TUnZipper*, int) { ++completes; };
    try {
        z.UnZip();
        FAIL();
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "error");
    }
    EXPECT_EQ(completes, 1);
}

TEST_F(Extract, TruncatedData) {
    std::string bytes = ZipWriter({{.name = "a.txt", .data = "abc"}});
    // Declare far more compressed bytes than the file holds.
    size_t cen = bytes.find("PK\x01\x02");
    bytes[cen + 20] = 0x00;
    bytes[cen + 21] = 0x00;
    bytes[cen + 22] = 0x10;  // 1 MiB
    OpenBytes(bytes);
    z.DoAll = true;
    try {
        z.UnZip();
        FAIL();
    } catch (const EFatalUnzipError& e) {
        EXPECT_STREQ(e.what(), "Premature end of file reached");
    }
}

TEST_F(Extract, UnknownMethodIsReportedAndFails) {
    OpenBytes(ZipWriter({{.name = "d64.bin", .data = "whatever", .method = 9, .payload = "xxxx"},
                         {.name = "ok.txt", .data = "ok"}}));
    std::vector<std::string> messages;
    z.OnHandleMessage = [&](TUnZipper*, int id, const std::u16string& m1, const std::u16string& m2, unsigned flags,
                            int& ret) {
        messages.push_back(std::to_string(id) + " " + Name(m1) + " / " + Name(m2) + " " + std::to_string(flags));
        ret = IDOK;
    };
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(messages, (std::vector<std::string>{"197 Unknown Compression Method / Zip Error 0"}));
    EXPECT_TRUE(Has("badcrc 0"));
    messages.clear();
    EXPECT_FALSE(z.CheckArchive());
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(z.Entry(0).FileIsOK, 0);
    EXPECT_EQ(z.Entry(1).FileIsOK, 1);
}

TEST_F(Extract, PathsThatLeaveTheDestinationAreSkipped) {
    OpenBytes(ZipWriter({{.name = "../evil1.txt", .data = "x"},
                         {.name = "a/../../evil2.txt", .data = "x"},
                         {.name = "/abs/x.txt", .data = "abs"},
                         {.name = "C:/drive/y.txt", .data = "drive"},
                         {.name = "C:z.txt", .data = "bare drive"},
                         {.name = "ok/../fine.txt", .data = "x"}}));
    z.DoAll = true;
    z.RecreateDirs = true;
    EXPECT_EQ(z.UnZip(), 3);
    EXPECT_TRUE(Has("skip 3 out/../evil1.txt"));
    EXPECT_TRUE(Has("skip 3 out/a/../../evil2.txt"));
    EXPECT_TRUE(Has("skip 3 out/ok/../fine.txt"));
    EXPECT_FALSE(fs::exists(dir / "evil1.txt"));
    EXPECT_FALSE(fs::exists(dir / "evil2.txt"));
    EXPECT_EQ(ReadAll(out / "abs/x.txt"), "abs");
    EXPECT_EQ(ReadAll(out / "drive/y.txt"), "drive");
    EXPECT_EQ(ReadAll(out / "z.txt"), "bare drive");
    // Without RecreateDirs only the file names count, and they stay inside.
    TUnZipper flat;
    flat.SetZipName(U(dir / "t.zip"));
    flat.SetDestDir(U(dir / "flat"));
    flat.DoAll = true;
    EXPECT_EQ(flat.UnZip(), 6);
    EXPECT_EQ(ReadAll(dir / "flat/x.txt"), "abs");
}

#ifndef _WIN32  // Unix modes and symbolic links; Windows keeps neither
TEST_F(Extract, UnixModesLinksAndReadOnly) {
    WriteAll(dir / "src/run.sh", "#!/bin/sh\necho hi\n");
    WriteAll(dir / "src/suid", "s");
    ASSERT_EQ(::chmod((dir / "src/run.sh").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((dir / "src/suid").c_str(), 04755), 0);
    WriteAll(dir / "sentinel.txt", "sentinel");
    fs::create_symlink("../sentinel.txt", dir / "src/link");
    ASSERT_EQ(Shell(Sh("cd src && zip -y ../m.zip run.sh suid link")), 0);
    Open("m.zip");
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 3);
    EXPECT_EQ(platform::GetFileMode(U(out / "run.sh")), 0755);
    EXPECT_EQ(platform::GetFileMode(U(out / "suid")), 0755);
    EXPECT_EQ(platform::GetFileKind(U(out / "link")), platform::TFileKind::fkFile);
    EXPECT_EQ(ReadAll(out / "link"), "../sentinel.txt");

    // A link already standing where a file goes is replaced, not followed.
    WriteAll(dir / "victim.txt", "untouched");
    fs::remove(out / "run.sh");
    fs::create_symlink(dir / "victim.txt", out / "run.sh");
    z.DoAll = true;
    z.UnZip();
    EXPECT_EQ(ReadAll(dir / "victim.txt"), "untouched");
    EXPECT_EQ(platform::GetFileKind(U(out / "run.sh")), platform::TFileKind::fkFile);
    zelvano_test::RemoveTree(dir / "src");
    EXPECT_EQ(ReadAll(dir / "sentinel.txt"), "sentinel");

    OpenBytes(ZipWriter({{.name = "ro.txt", .data = "r", .external = 0x21}}));
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(platform::GetFileMode(U(out / "ro.txt")) & 0222, 0);
    // A read-only file in the way is replaced only with ReplaceReadOnly.
    z.DoAll = true;
    if (::geteuid() != 0) {
        EXPECT_EQ(z.UnZip(), 0);
        EXPECT_TRUE(Has("skip 3 out/ro.txt"));
    }
    z.ReplaceReadOnly = true;
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 1);
}
#endif

TEST_F(Extract, OverwriteModes) {
    uint32_t dos2025 = 0x5A2E6000;  // 2025-01-14
    OpenBytes(ZipWriter({{.name = "f.txt", .data = "new", .dosDateTime = dos2025}}));
    auto reset = [&](int64_t mtime) {
        WriteAll(out / "f.txt", "old");
        platform::SetFileMTime(U(out / "f.txt"), mtime);
        log.clear();
        z.DoAll = true;
    };
    const int64_t year2000 = 946684800, year2030 = 1893456000;
    struct Case {
        TUZOverwriteMode mode;
        int64_t mtime;
        bool replaced;
    };
    for (Case c : {Case{Always, year2000, true}, Case{Never, year2000, false}, Case{ifNewer, year2000, true},
                   Case{ifNewer, year2030, false}, Case{ifOlder, year2000, false}, Case{ifOlder, year2030, true}}) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        reset(c.mtime);
        z.OverwriteMode = c.mode;
        EXPECT_EQ(z.UnZip(), c.replaced ? 1 : 0);
        EXPECT_EQ(ReadAll(out / "f.txt"), c.replaced ? "new" : "old");
        EXPECT_EQ(Has("skip 1 out/f.txt"), !c.replaced);
    }
    // Prompt: the handler decides; without one the message hook is asked.
    z.OverwriteMode = Prompt;
    reset(year2000);
    z.OnPromptForOverwrite = [&](TUnZipper*, bool& yes, int, std::u16string&) { yes = false; };
    EXPECT_EQ(z.UnZip(), 0);
    z.OnPromptForOverwrite = nullptr;
    std::u16string asked;
    z.OnHandleMessage = [&](TUnZipper*, int id, const std::u16string& m1, const std::u16string& m2, unsigned flags,
                            int& ret) {
        asked = m1 + u"|" + m2;
        EXPECT_EQ(id, 196);
        EXPECT_EQ(flags, 4u);
        ret = IDNO;
    };
    reset(year2000);
    EXPECT_EQ(z.UnZip(), 0);
    EXPECT_EQ(asked, u"Replace existing file f.txt?|File Exists Alert");
    z.OnHandleMessage = nullptr;  // the default answer of a Yes/No box is Yes
    reset(year2000);
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(ReadAll(out / "f.txt"), "new");
}

TEST_F(Extract, SelectionSkipRedirectAndEvents) {
    OpenBytes(ZipWriter({{.name = "a.txt", .data = "A"}, {.name = "b.log", .data = "BB"}, {.name = "c.txt", .data = "CCC"}}));
    // Patterns choose; the list is emptied after the run.
    z.FilesList = {u"*.TXT"};
    int infoCount = -1;
    int64_t infoBytes = -1;
    z.OnStartUnZipInfo = [&](TUnZipper*, int n, int64_t bytes, bool&) {
        infoCount = n;
        infoBytes = bytes;
    };
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(infoCount, 2);
    EXPECT_EQ(infoBytes, 4);
    EXPECT_TRUE(z.FilesList.empty());
    EXPECT_FALSE(fs::exists(out / "b.log"));
    // DoAll ignores the list.
    z.FilesList = {u"nothing"};
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 3);
    EXPECT_TRUE(z.FilesList.empty());
    // A skipped entry is neither counted nor reported; a new name redirects.
    log.clear();
    z.OnStartUnZip = [&](TUnZipper*, int i, std::u16string& name, bool& skip) {
        if (i == 0) skip = true;
        if (i == 1) name = U(dir / "elsewhere.log");
    };
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(dir / "elsewhere.log"), "BB");
    for (auto& l : log) EXPECT_EQ(l.rfind("skip", 0), std::string::npos) << l;
    // The caller's selection.
    z.OnStartUnZip = nullptr;
    z.DoAll = false;
    z.ReadZip();
    z.Entry(2).Selected = true;
    EXPECT_EQ(z.NumSelected(), 1);
    EXPECT_EQ(z.UnZipSelected(), 1);
    EXPECT_EQ(z.NumSelected(), 0);
}

TEST_F(Extract, ProgressStreamsAndBuffersInPieces) {
    std::string big;
    for (int i = 0; i < 100000; ++i) big += static_cast<char>('a' + i % 26);
    OpenBytes(ZipWriter({{.name = "big.txt", .data = big, .method = 8}, {.name = "s.txt", .data = "small"}}));
    std::vector<int> percents;
    z.OnTotalPercentDone = [&](TUnZipper*, int p) { percents.push_back(p); };
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 2);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));

    platform::TMemoryStream ms;
    z.UnZipToStreamByIndex(ms, 0);
    EXPECT_EQ(ms.View(), big);
    EXPECT_THROW(z.UnZipToStreamByIndex(ms, 5), EListError);

    z.BufferLength = 30000;
    std::string pieces;
    std::vector<int> numbers;
    z.OnGetNextBuffer = [&](TUnZipper*, std::vector<uint8_t>& buf, const std::u16string&, int64_t used, int num, bool&) {
        pieces.append(buf.begin(), buf.begin() + used);
        numbers.push_back(num);
    };
    std::vector<uint8_t> buf;
    z.UnZipToBuffer(buf, u"big.txt");
    EXPECT_EQ(pieces, big);
    EXPECT_EQ(numbers, (std::vector<int>{0, 1, 2, 3}));
    // Quitting early ends the entry without an error.
    int ends = 0;
    z.OnEndUnZip = [&](TUnZipper*, int, const std::u16string&) { ++ends; };
    z.OnGetNextBuffer = [&](TUnZipper*, std::vector<uint8_t>&, const std::u16string&, int64_t, int, bool& quit) {
        quit = true;
    };
    buf.clear();
    z.UnZipToBuffer(buf, u"big.txt");
    EXPECT_EQ(ends, 1);
}

TEST_F(Extract, CancelFromAnEventEndsTheRun) {
    OpenBytes(ZipWriter({{.name = "a.txt", .data = std::string(100000, 'a'), .method = 8},
                         {.name = "b.txt", .data = "b"}}));
    z.DoProcessMessages = true;
    z.OnStartUnZip = [&](TUnZipper* s, int, std::u16string&, bool&) { s->CancelTheOperation(); };
    int completes = 0;
    z.OnUnZipComplete = [&](TUnZipper*, int n) {
        ++completes;
        EXPECT_EQ(n, 0);
    };
    z.DoAll = true;
    try {
        z.UnZip();
        FAIL();
    } catch (const EUserCanceled& e) {
        EXPECT_STREQ(e.what(), "User Aborted Operation");
    }
    EXPECT_EQ(completes, 1);
    EXPECT_FALSE(z.Busy());
}

TEST_F(Extract, PausedRunWaitsUntilRestarted) {
    OpenBytes(ZipWriter({{.name = "a.txt", .data = "a"}, {.name = "b.txt", .data = "b"}}));
    z.DoProcessMessages = true;
    std::thread restarter;
    z.OnStartUnZip = [&](TUnZipper* s, int i, std::u16string&, bool&) {
        if (i == 0) {
            s->PauseTheOperation();
            restarter = std::thread([s] {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                s->RestartTheOperation();
            });
        }
    };
    z.DoAll = true;
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(z.UnZip(), 2);
    auto waited = std::chrono::steady_clock::now() - t0;
    restarter.join();
    EXPECT_GE(waited, std::chrono::milliseconds(150));
}

TEST_F(Extract, FileTimesFollowTheEntry) {
    OpenBytes(ZipWriter({{.name = "t.txt", .data = "t", .dosDateTime = 0x5A2E6000}}));
    z.DoAll = true;
    ASSERT_EQ(z.UnZip(), 1);
    std::tm tm{};
    tm.tm_year = 2025 - 1900;
    tm.tm_mon = 0;
    tm.tm_mday = 14;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    EXPECT_EQ(platform::GetFileMTime(U(out / "t.txt")), static_cast<int64_t>(std::mktime(&tm)));
}

TEST_F(Extract, ManyAesEntriesWithKeysDerivedAhead) {
    for (int i = 0; i < 5; ++i) WriteAll(dir / ("f" + std::to_string(i) + ".txt"), std::string(2000 + i, 'a' + i));
    ASSERT_EQ(Shell(Sh("7z a -tzip -mem=AES256 -pkey many.zip f0.txt f1.txt f2.txt f3.txt f4.txt")), 0);
    Open("many.zip");
    z.Password = "key";
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 5);
    EXPECT_EQ(ReadAll(out / "f4.txt"), std::string(2004, 'e'));
    // A password that changes during the run falls back to deriving in place.
    fs::remove_all(out);
    z.Password = "wrong";
    int asked = 0;
    z.OnBadPassword = [&](TUnZipper*, int, std::string& pw) {
        ++asked;
        pw = "key";
    };
    z.DoAll = true;
    EXPECT_EQ(z.UnZip(), 5);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ReadAll(out / "f2.txt"), std::string(2002, 'c'));
}
