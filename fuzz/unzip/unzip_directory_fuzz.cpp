// Arbitrary bytes as an archive: the directory reader must not crash, hang or
// read out of bounds, whichever incomplete-archive mode applies.
#include "fuzz_common.h"
#include "unzip/BufferedStream.h"
#include "unzip/UnZipper.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (auto mode : {unzip::izAssumeMulti, unzip::izAssumeBad}) {
        platform::TMemoryStream s;
        LoadInto(s, data, size);
        // Read through a small block buffer, as archive files are.
        unzip::TBufferedStream buffered(&s, 512);
        unzip::TUnZipper z;
        z.DoProcessMessages = false;
        z.IncompleteZipMode = mode;
        z.SetArchiveStream(&buffered);
        try {
            z.ReadZip();
            for (int i = 0; i < z.Count(); ++i) {
                auto& e = z.Entry(i);
                (void)e.FullName();
                (void)e.UncompressedSize();
            }
            z.SetSortMode(unzip::ByName);
            z.SetSortMode(unzip::ByDate);
            z.SetSortMode(unzip::ByRate);
        } catch (const platform::Exception&) {
        }
    }
    return 0;
}
