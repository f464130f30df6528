// The release statement's checks, and the downloaded archive held open from
// the check of its digest to its extraction.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/ReleaseStatement.h"
#include "platform/codepage.h"
#include "platform/signature.h"
#include "tests/support/nginx_server.h"
#include "unzip/UnZipper.h"

namespace fs = std::filesystem;

namespace {

std::u16string T(const fs::path& p) { return platform::Utf8ToText(p.string()); }

TEST(ReleaseVersions, ComparedAsDottedNumbers) {
    struct Case {
        const char* A;
        const char* B;
        int Order;
    } cases[] = {
        {"2.0.3", "2.0.3", 0}, {"2.0", "2.0.0", 0},  {"2", "2.0.0.0", 0}, {"2.10", "2.9", 1},
        {"2.0.3", "2.1", -1},  {"10.0", "9.99", 1},  {"2.0.1", "2.0", 1}, {"0.0.1", "0", 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(release::CompareVersions(c.A, c.B), c.Order) << c.A << " vs " << c.B;
        EXPECT_EQ(release::CompareVersions(c.B, c.A), -c.Order) << c.B << " vs " << c.A;
    }
    for (const char* bad : {"", ".", "2.", ".2", "2..0", "v2", "2.0-beta", " 2", "2.0 ", "1234567890", "2,0", "+2"})
        EXPECT_FALSE(release::IsVersion(bad)) << "'" << bad << "'";
    for (const char* good : {"0", "2", "2.0.3", "123456789.0"}) EXPECT_TRUE(release::IsVersion(good)) << good;
}

TEST(ReleaseTimes, OnlyWholeUtcTimesOfRealDays) {
    int64_t seconds = -1;
    ASSERT_TRUE(release::ParseUtcTime("1970-01-01T00:00:00Z", seconds));
    EXPECT_EQ(seconds, 0);
    ASSERT_TRUE(release::ParseUtcTime("2027-01-10T00:00:00Z", seconds));
    EXPECT_EQ(seconds, 1799539200);
    ASSERT_TRUE(release::ParseUtcTime("2028-02-29T23:59:59Z", seconds));
    EXPECT_EQ(seconds, 1835481599);
    for (const char* bad : {"2027-02-29T00:00:00Z", "2027-13-01T00:00:00Z", "2027-01-00T00:00:00Z",
                            "2027-01-10T24:00:00Z", "2027-01-10T00:60:00Z", "2027-01-10 00:00:00Z",
                            "2027-01-10T00:00:00", "2027-01-10T00:00:00+08:00", "2027-1-10T00:00:00Z", ""})
        EXPECT_FALSE(release::ParseUtcTime(bad, seconds)) << bad;
}

// The archive is opened once: a file renamed over its path after the check
// (or written through the path) is not what gets extracted. On Windows the
// open handle denies the rename itself.
TEST(VerifiedArchive, SecondWriterCannotReplaceTheCheckedArchive) {
    zelvano_test::TempDir work("zelvano-verified");
    const fs::path checked = fs::path(ZELVANO_TESTDATA_DIR) / "zip" / "example-s.zip";  // S.BIN
    const fs::path other = fs::path(ZELVANO_TESTDATA_DIR) / "zip" / "example-r.zip";    // R.BIN
    const fs::path archive = work.Path() / "Version.zip";
    fs::copy_file(checked, archive);
    fs::copy_file(other, work.Path() / "other.zip");

    release::TRelease statement;
    statement.Size = static_cast<int64_t>(fs::file_size(checked));
    statement.Sha256 = "8d42c7e0d1b3efcacdca35c823bc4d1c6aa8eb844502883835346b52c645dab3";
    release::TVerifiedArchive verified(T(archive), statement);
    ASSERT_TRUE(verified.Accepted());

    std::error_code renamed;
    fs::rename(work.Path() / "other.zip", archive, renamed);
    EXPECT_EQ(static_cast<bool>(renamed), ZELVANO_OPEN_FILE_DENIES_RENAME) << renamed.message();
    {
        std::ofstream overwrite(archive, std::ios::binary | std::ios::trunc);
        overwrite << "not an archive";
    }

    unzip::TUnZipper unzipper;
    unzipper.SetArchiveStream(&verified.Stream());
    unzipper.FilesList.push_back(u"*.*");
    unzipper.DoAll = true;
    unzipper.SetDestDir(T(work.Path() / "out"));
    unzipper.RecreateDirs = true;
    EXPECT_EQ(unzipper.UnZip(), 1);
    unzipper.SetArchiveStream(nullptr);
    EXPECT_EQ(fs::file_size(work.Path() / "out" / "S.BIN"), 2048u);
    EXPECT_FALSE(fs::exists(work.Path() / "out" / "R.BIN"));
}

TEST(VerifiedArchive, SizeAndDigestMustBeTheStatements) {
    const fs::path checked = fs::path(ZELVANO_TESTDATA_DIR) / "zip" / "example-s.zip";
    const int64_t size = static_cast<int64_t>(fs::file_size(checked));
    const std::string digest = "8d42c7e0d1b3efcacdca35c823bc4d1c6aa8eb844502883835346b52c645dab3";
    std::string otherDigest = digest;
    otherDigest[63] = '4';
    struct Case {
        const char* Name;
        int64_t Size;
        std::string Sha256;
        bool Accepted;
    } cases[] = {
        {"the statement's bytes", size, digest, true},
        {"one byte more stated", size + 1, digest, false},
        {"one byte fewer stated", size - 1, digest, false},
        {"another digest", size, otherDigest, false},
        {"upper-case digest", size, "8D42C7E0D1B3EFCACDCA35C823BC4D1C6AA8EB844502883835346B52C645DAB3", false},
    };
    for (const Case& c : cases) {
        release::TRelease statement;
        statement.Size = c.Size;
        statement.Sha256 = c.Sha256;
        release::TVerifiedArchive verified(T(checked), statement);
        EXPECT_EQ(verified.Accepted(), c.Accepted) << c.Name;
        if (c.Accepted) {
            EXPECT_EQ(verified.Stream().GetPosition(), 0);
        }
    }
    release::TRelease statement;
    statement.Size = 0;
    statement.Sha256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    EXPECT_FALSE(release::TVerifiedArchive(u"no/such/archive.zip", statement).Accepted());
}

}  // namespace
