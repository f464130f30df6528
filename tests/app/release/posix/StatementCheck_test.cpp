// Release statements signed with the openssl command as a publisher signs
// them, checked against the trust of a build: signature, form, product,
// expiry, and the installed version and the build's minimum as floors.
#include <gtest/gtest.h>

#include <fstream>

#include "app/ReleaseStatement.h"
#include "tests/support/nginx_server.h"

using zelvano_test::RunCommand;
using zelvano_test::ShellQuote;

namespace {

constexpr int64_t kNow = 1799539200;  // 2027-01-10T00:00:00Z
const std::string kDigest = "8d42c7e0d1b3efcacdca35c823bc4d1c6aa8eb844502883835346b52c645dab3";

class StatementCheck : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"publisher", "stranger"})
            RunCommand("openssl ecparam -name prime256v1 -genkey -noout -out " + Q(std::string(name) + ".key"));
        RunCommand("openssl ec -in " + Q("publisher.key") + " -pubout -out " + Q("publisher.pem") + " 2>&1");
        release::SetTrust({RunCommand("cat " + Q("publisher.pem")), "zelvano-student", ""});
    }
    void TearDown() override { release::SetTrust({}); }
    std::string Q(const std::string& name) { return ShellQuote((dir_.Path() / name).string()); }

    // The reply members for `statement`: its base64 and its signature.
    std::pair<std::string, std::string> Signed(const std::string& statement, const char* key = "publisher.key") {
        std::ofstream(dir_.Path() / "statement.json", std::ios::binary) << statement;
        return {RunCommand("base64 -w0 " + Q("statement.json")),
                RunCommand("openssl dgst -sha256 -sign " + Q(key) + " " + Q("statement.json") + " | base64 -w0")};
    }
    static std::string Statement(const std::string& version, const std::string& expires = "2027-01-11T00:00:00Z",
                                 const std::string& product = "zelvano-student") {
        return R"({"product":")" + product + R"(","version":")" + version + R"(","size":2048,"sha256":")" + kDigest +
               R"(","expires":")" + expires + R"("})";
    }
    release::TVerdict Check(const std::pair<std::string, std::string>& members, const std::string& installed = "") {
        release::TRelease accepted;
        return release::CheckStatement(members.first, members.second, installed, kNow, accepted);
    }

    zelvano_test::TempDir dir_{"zelvano-statement"};
};

using release::TVerdict;

TEST_F(StatementCheck, AcceptedStatementIsReadWhole) {
    release::TRelease accepted;
    auto members = Signed(Statement("2.0.3"));
    ASSERT_EQ(release::CheckStatement(members.first, members.second, "2.0.3", kNow, accepted), TVerdict::Accepted);
    EXPECT_EQ(accepted.Product, "zelvano-student");
    EXPECT_EQ(accepted.Version, "2.0.3");
    EXPECT_EQ(accepted.Size, 2048);
    EXPECT_EQ(accepted.Sha256, kDigest);
    EXPECT_EQ(accepted.Expires, kNow + 86400);
}

TEST_F(StatementCheck, Refusals) {
    auto good = Signed(Statement("2.0.3"));
    struct Case {
        const char* Name;
        std::pair<std::string, std::string> Members;
        std::string Installed;
        TVerdict Verdict;
    } cases[] = {
        {"same version again (a repair)", good, "2.0.3", TVerdict::Accepted},
        {"newer than installed", good, "2.0.2.9", TVerdict::Accepted},
        {"unreadable installed version", good, "garbage", TVerdict::Accepted},
        {"older than installed", good, "2.0.10", TVerdict::Older},
        {"expired a second ago", Signed(Statement("2.0.3", "2027-01-09T23:59:59Z")), "", TVerdict::Expired},
        {"expiring now", Signed(Statement("2.0.3", "2027-01-10T00:00:00Z")), "", TVerdict::Expired},
        {"other product", Signed(Statement("2.0.3", "2027-01-11T00:00:00Z", "zelvano-teacher")), "",
         TVerdict::OtherProduct},
        {"other key", Signed(Statement("2.0.3"), "stranger.key"), "", TVerdict::BadSignature},
        {"signature of other bytes", {good.first, Signed(Statement("2.0.4")).second}, "", TVerdict::BadSignature},
        {"statement not base64", {"eyJ*", good.second}, "", TVerdict::BadSignature},
        {"signature not base64", {good.first, "MEUCIQ*"}, "", TVerdict::BadSignature},
        {"no statement (old form)", {"", good.second}, "", TVerdict::Unsigned},
        {"no signature", {good.first, ""}, "", TVerdict::Unsigned},
        {"not JSON", Signed("version 2.0.3"), "", TVerdict::Malformed},
        {"text after the object", Signed(Statement("2.0.3") + "x"), "", TVerdict::Malformed},
        {"size as text",
         Signed(R"({"product":"zelvano-student","version":"2.0.3","size":"2048","sha256":")" + kDigest +
                R"(","expires":"2027-01-11T00:00:00Z"})"),
         "", TVerdict::Malformed},
        {"negative size",
         Signed(R"({"product":"zelvano-student","version":"2.0.3","size":-1,"sha256":")" + kDigest +
                R"(","expires":"2027-01-11T00:00:00Z"})"),
         "", TVerdict::Malformed},
        {"no digest",
         Signed(R"({"product":"zelvano-student","version":"2.0.3","size":2048,"expires":"2027-01-11T00:00:00Z"})"), "",
         TVerdict::Malformed},
        {"short digest",
         Signed(R"({"product":"zelvano-student","version":"2.0.3","size":2048,"sha256":"8d42",)"
                R"("expires":"2027-01-11T00:00:00Z"})"),
         "", TVerdict::Malformed},
        {"version not dotted numbers", Signed(Statement("2.0.3-beta")), "", TVerdict::Malformed},
        {"expiry not UTC", Signed(Statement("2.0.3", "2027-01-11T00:00:00+08:00")), "", TVerdict::Malformed},
    };
    for (const Case& c : cases) EXPECT_EQ(Check(c.Members, c.Installed), c.Verdict) << c.Name;
}

TEST_F(StatementCheck, BuildMinimumIsAFloorToo) {
    release::SetTrust({release::Trust().PublicKey, "zelvano-student", "2.1"});
    EXPECT_EQ(Check(Signed(Statement("2.0.3"))), TVerdict::Older);
    EXPECT_EQ(Check(Signed(Statement("2.1"))), TVerdict::Accepted);
    EXPECT_EQ(Check(Signed(Statement("2.1.0.1")), "2.0"), TVerdict::Accepted);
}

TEST_F(StatementCheck, EmptyKeyTrustsNothing) {
    auto members = Signed(Statement("2.0.3"));
    release::SetTrust({"", "zelvano-student", ""});
    EXPECT_EQ(Check(members), TVerdict::BadSignature);
}

}  // namespace
