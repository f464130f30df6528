#include "app/ReleaseSignature.h"

#include "platform/signature.h"
#include "platform/stream.h"

namespace release {

namespace {

std::string& Key() {
    static std::string key;
    return key;
}

}  // namespace

void SetPublicKey(std::string pem) { Key() = std::move(pem); }

const std::string& PublicKey() { return Key(); }

bool ArchiveAccepted(const std::u16string& archive, const std::string& signatureBase64) {
    if (Key().empty()) return true;
    if (signatureBase64.empty()) return false;
    try {
        platform::TFileStream stream(archive, platform::fmOpenRead | platform::fmShareDenyWrite);
        return platform::VerifySignature(Key(), stream, signatureBase64) == platform::SignatureCheck::Valid;
    } catch (const platform::Exception&) {
        return false;
    }
}

}  // namespace release
