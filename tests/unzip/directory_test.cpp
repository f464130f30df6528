// Reading the archive directory: end records, names, extra fields, dates,
// the rescue scan and the sort orders.
#include <gtest/gtest.h>

#include "test_support.h"
#include "unzip/UnZipper.h"

using namespace unzip;
using namespace unziptest;

namespace {

class Directory : public ::testing::Test {
protected:
    TUnZipper& Load(const std::string& bytes, const std::string& name = "a.zip") {
        WriteAll(dir / name, bytes);
        z.SetZipName(U(dir / name));
        z.ReadZip();
        return z;
    }
    TempDir dir;
    TUnZipper z;
};

}  // namespace

TEST_F(Directory, EmptyFileIsAnArchiveWithoutEntries) {
    Load("");
    EXPECT_EQ(z.Count(), 0);
    z.DoAll = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 0);
}

TEST_F(Directory, ShortFilesAreIncompleteByMode) {
    for (int n : {1, 21}) {
        std::string bytes(n, 'P');
        WriteAll(dir / "s.zip", bytes);
        TUnZipper u;
        u.SetZipName(U(dir / "s.zip"));
        u.DoAll = true;
        u.SetDestDir(U(dir / "out"));
        bool events = false;
        u.OnStartUnZipInfo = [&](TUnZipper*, int, int64_t, bool&) { events = true; };
        try {
            u.UnZip();
            FAIL() << "no exception for " << n << " bytes";
        } catch (const EIncompleteZip& e) {
            EXPECT_STREQ(e.what(), "Incomplete Zip File");
        }
        EXPECT_FALSE(events);
        u.IncompleteZipMode = izAssumeNotAZip;
        u.ClearZip();
        u.SetZipName(U(dir / "s.zip"));
        EXPECT_THROW(u.ReadZip(), ENotAZipFile);
        u.IncompleteZipMode = izAssumeBad;
        u.SetZipName(U(dir / "s.zip"));
        try {
            u.ReadZip();
            FAIL();
        } catch (const EBadZipFile& e) {
            EXPECT_STREQ(e.what(), "Not a valid zip file!");
        }
    }
}

TEST_F(Directory, EndRecordInsideTheCommentWins) {
    // A comment that holds a fake end record naming no entries, placed at
    // least 22 bytes before the end of the file.
    std::string fake = "PK\x05\x06";
    fake += std::string(18, '\0');
    std::string bytes = ZipWriter({{.name = "x.txt", .data = "hello"}}, fake + std::string(10, ' '));
    Load(bytes);
    EXPECT_EQ(z.Count(), 0);
}

TEST_F(Directory, NamesFoldersAndComment) {
    Load(ZipWriter({{.name = "dir/", .data = ""},
                    {.name = "dir\\sub/file.txt", .data = "abc"},
                    {.name = "top.txt", .data = "x"}},
                   "the comment"));
    ASSERT_EQ(z.Count(), 3);
    EXPECT_EQ(z.Entry(0).filename, u"");
    EXPECT_EQ(z.Entry(0).directory, u"dir/");
    EXPECT_EQ(z.Entry(1).filename, u"file.txt");
    EXPECT_EQ(z.Entry(1).directory, u"dir/sub/");
    EXPECT_EQ(z.Entry(2).directory, u"");
    EXPECT_EQ(z.ZipComment(), "the comment");
    EXPECT_THROW(z.Entry(3), EListError);
    try {
        z.Entry(-1);
    } catch (const EListError& e) {
        EXPECT_STREQ(e.what(), "Index -1 is out of range");
    }
}

TEST_F(Directory, NameDecodingByFlagAndHost) {
    // (On Windows the system's code pages count; a new Wine prefix has these.)
    zelvano_test::SetEnv("ZELVANO_ANSI_CODEPAGE", "1252");
    zelvano_test::SetEnv("ZELVANO_OEM_CODEPAGE", "437");
    std::string utf8 = "caf\xC3\xA9.txt";  // café.txt in UTF-8
    Load(ZipWriter({{.name = utf8, .data = "1", .flags = 0x0800},
                    {.name = utf8, .data = "2", .versionMadeBy = 0x0B14},
                    {.name = "caf\x82.txt", .data = "3"}}));  // é in code page 437
    EXPECT_EQ(z.Entry(0).filename, u"caf\u00e9.txt");
    EXPECT_EQ(z.Entry(1).filename, u"caf\u00e9.txt");
    EXPECT_EQ(z.Entry(2).filename, u"caf\u00e9.txt");
    zelvano_test::UnsetEnv("ZELVANO_ANSI_CODEPAGE");
    zelvano_test::UnsetEnv("ZELVANO_OEM_CODEPAGE");
}

TEST_F(Directory, UnicodePathExtraReplacesTheName) {
    std::string path = "d/\xE6\x96\x87.txt";  // 文.txt
    std::string extra;
    Put16(extra, 0x7075);
    Put16(extra, static_cast<uint32_t>(5 + path.size()));
    extra += '\x01';
    Put32(extra, 0);
    extra += path;
    Load(ZipWriter({{.name = "d/_.txt", .data = "x", .centralExtra = extra}}));
    EXPECT_EQ(z.Entry(0).filename, u"\u6587.txt");
    EXPECT_EQ(z.Entry(0).directory, u"d/");
}

TEST_F(Directory, DatesAreSanitised) {
    Load(ZipWriter({{.name = "a", .data = "1", .dosDateTime = 0x5A2EFFFF},
                    {.name = "b", .data = "2", .dosDateTime = (0x5A00u << 16) | 0x6000}}));
    uint32_t a = z.Entry(0).last_mod_file_date_time;
    EXPECT_EQ(a & 0xFFFF, (23u << 11) | (59u << 5) | 29u);  // 23:59:58
    EXPECT_EQ(a >> 16, 0x5A2Eu);
    uint32_t b = z.Entry(1).last_mod_file_date_time >> 16;
    EXPECT_EQ((b >> 5) & 15, 1u);  // month 0 reads as January
    EXPECT_EQ(b & 31, 1u);         // day 0 as the first
}

TEST_F(Directory, OvershootingExtraLengthIsTakenBack) {
    // The first central record claims 8 bytes of extra field that are not there.
    std::string bytes = ZipWriter({{.name = "a.txt", .data = "first"}, {.name = "b.txt", .data = "second"}});
    size_t cen = bytes.find("PK\x01\x02");
    bytes[cen + 30] = 8;
    // Keep the end record's central size as it was; the reader does not use it.
    Load(bytes);
    ASSERT_EQ(z.Count(), 2);
    EXPECT_EQ(z.Entry(0).Cextra_field_length, 0);
    EXPECT_EQ(z.Entry(1).filename, u"b.txt");
    z.DoAll = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(dir / "out/b.txt"), "second");
}

TEST_F(Directory, DuplicateLocalOffsetsTriggerTheRescueScan) {
    std::string bytes = ZipWriter({{.name = "a.txt", .data = "alpha"},
                                   {.name = "b.txt", .data = "beta", .localOffset = 0}});
    Load(bytes);
    EXPECT_TRUE(z.ImproperZip());
    ASSERT_EQ(z.Count(), 2);
    EXPECT_EQ(z.Entry(1).filename, u"b.txt");
    z.DoAll = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(dir / "out/a.txt"), "alpha");
    EXPECT_EQ(ReadAll(dir / "out/b.txt"), "beta");
}

TEST_F(Directory, RescueScanRebuildsAnArchiveWithoutEndRecord) {
    std::string bytes = ZipWriter({{.name = "a.txt", .data = "alpha", .method = 8}, {.name = "b.txt", .data = "beta"}});
    bytes.resize(bytes.find("PK\x05\x06"));  // cut the end record off
    WriteAll(dir / "cut.zip", bytes);
    z.SetZipName(U(dir / "cut.zip"));
    z.DoAll = true;
    EXPECT_THROW(z.UnZip(), EIncompleteZip);  // by default a cut archive is incomplete
    z.IncompleteZipMode = izAssumeBad;
    z.DoAll = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 2);
    EXPECT_EQ(ReadAll(dir / "out/a.txt"), "alpha");
}

TEST_F(Directory, SortModes) {
    Load(ZipWriter({{.name = "b/zeta.txt", .data = std::string(300, 'z'), .dosDateTime = 0x5A2E6000},
                    {.name = "a/Alpha.txt", .data = std::string(100, 'a'), .dosDateTime = 0x5B2E6000},
                    {.name = "c/beta.txt", .data = std::string(200, 'b'), .dosDateTime = 0x592E6000}}));
    auto names = [&] {
        std::u16string all;
        for (int i = 0; i < z.Count(); ++i) all += z.Entry(i).filename + u",";
        return all;
    };
    EXPECT_EQ(names(), u"zeta.txt,Alpha.txt,beta.txt,");
    z.SetSortMode(ByName);
    EXPECT_EQ(names(), u"Alpha.txt,zeta.txt,beta.txt,");
    z.SetSortMode(ByFileName);
    EXPECT_EQ(names(), u"Alpha.txt,beta.txt,zeta.txt,");
    z.SetSortMode(ByDate);
    EXPECT_EQ(names(), u"Alpha.txt,zeta.txt,beta.txt,");
    z.SetSortMode(ByUnCompressedSize);
    EXPECT_EQ(names(), u"zeta.txt,beta.txt,Alpha.txt,");
    z.SetSortMode(ByNone);
    EXPECT_EQ(names(), u"zeta.txt,Alpha.txt,beta.txt,");
}

TEST_F(Directory, Zip64RecordsAndExtraFields) {
    // One stored entry whose sizes and offset live in the Zip64 extra field,
    // behind a Zip64 end record and its locator.
    std::string data = "zip64 data";
    std::string out;
    out += "PK\x03\x04";
    Put16(out, 45);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, 0x5A2E6000);
    Put32(out, Crc(data));
    Put32(out, 10);
    Put32(out, 10);
    Put16(out, 7);
    Put16(out, 0);
    out += "big.txt" + data;
    uint64_t cenOffset = out.size();
    std::string cen = "PK\x01\x02";
    Put16(cen, 45);
    Put16(cen, 45);
    Put16(cen, 0);
    Put16(cen, 0);
    Put32(cen, 0x5A2E6000);
    Put32(cen, Crc(data));
    Put32(cen, 0xFFFFFFFF);
    Put32(cen, 0xFFFFFFFF);
    Put16(cen, 7);
    Put16(cen, 28);
    Put16(cen, 0);
    Put16(cen, 0);
    Put16(cen, 0);
    Put32(cen, 0);
    Put32(cen, 0xFFFFFFFF);
    cen += "big.txt";
    Put16(cen, 1);
    Put16(cen, 24);
    for (uint64_t v : {uint64_t{10}, uint64_t{10}, uint64_t{0}}) {
        Put32(cen, static_cast<uint32_t>(v));
        Put32(cen, static_cast<uint32_t>(v >> 32));
    }
    out += cen;
    uint64_t eocd64 = out.size();
    out += "PK\x06\x06";
    auto put64 = [&](uint64_t v) {
        Put32(out, static_cast<uint32_t>(v));
        Put32(out, static_cast<uint32_t>(v >> 32));
    };
    put64(44);
    Put16(out, 45);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    put64(1);
    put64(1);
    put64(cen.size());
    put64(cenOffset);
    out += "PK\x06\x07";
    Put32(out, 0);
    put64(eocd64);
    Put32(out, 1);
    out += "PK\x05\x06";
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0xFFFF);
    Put16(out, 0xFFFF);
    Put32(out, 0xFFFFFFFF);
    Put32(out, 0xFFFFFFFF);
    Put16(out, 0);
    Load(out);
    ASSERT_EQ(z.Count(), 1);
    EXPECT_TRUE(z.isZip64());
    EXPECT_EQ(z.Entry(0).UncompressedSize(), 10u);
    EXPECT_EQ(z.Entry(0).OriginalZip64_Extra_length, 28);
    z.DoAll = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 1);
    EXPECT_EQ(ReadAll(dir / "out/big.txt"), data);
}

TEST_F(Directory, PythonArchiveWithCommentsAndUtf8Names) {
    std::string py = "import zipfile\n"
                     "with zipfile.ZipFile('" + zelvano_test::UnixPath((dir / "py.zip").string()) + "', 'w', zipfile.ZIP_DEFLATED) as z:\n"
                     "    z.comment = b'archive comment'\n"
                     "    z.writestr('\u00fcber/\u6587\u4ef6.txt', b'unicode')\n";
    WriteAll(dir / "mk.py", py);
    ASSERT_EQ(Shell("python3 " + zelvano_test::ShellQuote((dir / "mk.py").string())), 0);
    z.SetZipName(U(dir / "py.zip"));
    z.ReadZip();
    ASSERT_EQ(z.Count(), 1);
    EXPECT_EQ(z.Entry(0).directory, u"\u00fcber/");
    EXPECT_EQ(z.Entry(0).filename, u"\u6587\u4ef6.txt");
    EXPECT_EQ(z.ZipComment(), "archive comment");
    EXPECT_TRUE(z.ZipHasComment());
    z.DoAll = true;
    z.RecreateDirs = true;
    z.SetDestDir(U(dir / "out"));
    EXPECT_EQ(z.UnZip(), 1);
    // A char8_t path is UTF-8 on every system (a char path is not on Windows).
    EXPECT_EQ(ReadAll(dir.path() / fs::path(u8"out/\u00fcber/\u6587\u4ef6.txt")), "unicode");
}
