// Arbitrary archives through the archive test: every decoder (stored,
// shrunk, reduced, imploded, deflated; traditional and AES decryption) must
// end without a crash, a hang or unbounded output.
#include "fuzz_common.h"
#include "unzip/BufferedStream.h"
#include "unzip/UnZipper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::TMemoryStream s;
    LoadInto(s, data, size);
    // Read through a small block buffer, as archive files are.
    unzip::TBufferedStream buffered(&s, 512);
    unzip::TUnZipper z;
    z.DoProcessMessages = false;
    z.IncompleteZipMode = unzip::izAssumeBad;
    z.Password = "password";
    // The fixtures use two passwords; offering the second once reaches both.
    z.OnBadPassword = [](unzip::TUnZipper*, int, std::string& pw) {
        if (pw == "password") pw = "12345678";
    };
    z.SetArchiveStream(&buffered);
    try {
        z.CheckArchive();
    } catch (const platform::Exception&) {
    }
    return 0;
}
