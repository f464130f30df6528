// Release signatures checked against keys and signatures made by the openssl
// command, as a publisher makes them; and the strict base64 they arrive in.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/signature.h"
#include "platform/stream.h"
#include "tests/support/nginx_server.h"

using platform::SignatureCheck;
using zelvano_test::RunCommand;
using zelvano_test::ShellQuote;

namespace {

std::string Read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class SignatureTest : public ::testing::Test {
protected:
    void SetUp() override {
        // More than one piece of the streamed digest, not a multiple of it.
        data_.resize(200001);
        for (size_t i = 0; i < data_.size(); ++i) data_[i] = static_cast<char>(i * 7 + i / 251);
        std::ofstream(Path("data.bin"), std::ios::binary) << data_;
        for (const char* name : {"publisher", "stranger"}) {
            RunCommand("openssl ecparam -name prime256v1 -genkey -noout -out " + Q(std::string(name) + ".key"));
            RunCommand("openssl ec -in " + Q(std::string(name) + ".key") + " -pubout -out " +
                       Q(std::string(name) + ".pem") + " 2>&1");
        }
        RunCommand("openssl ecparam -name secp384r1 -genkey -noout -out " + Q("p384.key"));
        RunCommand("openssl ec -in " + Q("p384.key") + " -pubout -out " + Q("p384.pem") + " 2>&1");
    }
    std::string Path(const std::string& name) { return (dir_.Path() / name).string(); }
    std::string Q(const std::string& name) { return ShellQuote(Path(name)); }
    std::string Sign(const std::string& key, const std::string& file) {
        return RunCommand("openssl dgst -sha256 -sign " + Q(key) + " " + Q(file) + " | base64 -w0");
    }
    SignatureCheck Verify(const std::string& pem, const std::string& signature) {
        platform::TMemoryStream stream;
        stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
        stream.SetPosition(0);
        return platform::VerifySignature(pem, stream, signature);
    }

    zelvano_test::TempDir dir_{"zelvano-signature"};
    std::string data_;
};

}  // namespace

TEST_F(SignatureTest, Verdicts) {
    const std::string publisher = Read(Path("publisher.pem"));
    const std::string good = Sign("publisher.key", "data.bin");
    std::ofstream(Path("other.bin"), std::ios::binary) << data_ << "x";
    std::string der;
    ASSERT_TRUE(platform::DecodeBase64(good, der)) << good;

    struct Case {
        const char* Name;
        std::string Pem;
        std::string Signature;
        SignatureCheck Expected;
    } cases[] = {
        {"valid", publisher, good, SignatureCheck::Valid},
        {"signature of other data", publisher, Sign("publisher.key", "other.bin"), SignatureCheck::Mismatch},
        {"another publisher's signature", publisher, Sign("stranger.key", "data.bin"), SignatureCheck::Mismatch},
        {"another publisher's key", Read(Path("stranger.pem")), good, SignatureCheck::Mismatch},
        {"not base64", publisher, "MEUC*IQ==", SignatureCheck::MalformedSignature},
        {"base64 but not DER", publisher, "AAECAwQF", SignatureCheck::MalformedSignature},
        {"DER with bytes after it", publisher,
         RunCommand("(printf '%s' " + ShellQuote(good) + " | base64 -d; printf abc) | base64 -w0"),
         SignatureCheck::MalformedSignature},
        {"empty signature", publisher, "", SignatureCheck::MalformedSignature},
        {"key on another curve", Read(Path("p384.pem")), good, SignatureCheck::BadKey},
        {"private key instead of public", Read(Path("publisher.key")), good, SignatureCheck::BadKey},
        {"no key", "", good, SignatureCheck::BadKey},
    };
    for (const Case& c : cases) EXPECT_EQ(Verify(c.Pem, c.Signature), c.Expected) << c.Name;
}

TEST_F(SignatureTest, ReadsFromTheStreamPositionToItsEnd) {
    const std::string publisher = Read(Path("publisher.pem"));
    std::ofstream(Path("tail.bin"), std::ios::binary) << data_.substr(1000);
    platform::TFileStream stream(Path("data.bin"), platform::fmOpenRead);
    stream.SetPosition(1000);
    EXPECT_EQ(platform::VerifySignature(publisher, stream, Sign("publisher.key", "tail.bin")), SignatureCheck::Valid);
}

TEST(Base64, StrictDecoding) {
    struct Case {
        const char* Text;
        bool Valid;
        const char* Bytes;
    } cases[] = {
        {"TWFu", true, "Man"},      {"TWE=", true, "Ma"},   {"TQ==", true, "M"},
        {"TWFuTWE=", true, "ManMa"}, {"TWE", false, ""},    {"TW=u", false, ""},
        {"TWF=", false, ""},        {"TR==", false, ""},    {"TWFu\n", false, ""},
        {" TWFu", false, ""},       {"TW-u", false, ""},    {"====", false, ""},
        {"", false, ""},
    };
    for (const Case& c : cases) {
        std::string bytes;
        EXPECT_EQ(platform::DecodeBase64(c.Text, bytes), c.Valid) << c.Text;
        if (c.Valid) EXPECT_EQ(bytes, c.Bytes) << c.Text;
    }
}
