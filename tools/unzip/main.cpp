// zelvano-unzip: list, test or extract an archive with the extraction component.
//
//   zelvano-unzip [-l] [-t] [-j] [-o always|never|newer|older] [-P PASSWORD]
//                 [-d DESTDIR] ARCHIVE [PATTERN...]
//
// Exit status: 0 when every selected entry was good, 1 when any was skipped
// or failed, 2 when the archive could not be read.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "unzip/UnZipper.h"

using namespace unzip;
using platform::TextToUtf8;

namespace {

int Usage() {
    platform::PrintText(stderr,
                 "usage: zelvano-unzip [-l] [-t] [-j] [-o always|never|newer|older] [-P PASSWORD] "
                 "[-d DESTDIR] ARCHIVE [PATTERN...]\n");
    return 2;
}

const char* ReasonText(TSkipReason r) {
    switch (r) {
        case srBadPassword: return "bad password";
        case srNoOverwrite: return "exists, not overwritten";
        case srCreateError: return "cannot be created here";
        case srFileOpenError: return "cannot be opened";
        default: return "skipped";
    }
}

std::string DateText(uint32_t dos) {
    char buf[32];
    uint32_t t = dos & 0xFFFF, d = dos >> 16;
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", 1980 + ((d >> 9) & 127), (d >> 5) & 15, d & 31,
                  (t >> 11) & 31, (t >> 5) & 63);
    return buf;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = platform::Utf8Arguments(argc, argv);
    argc = static_cast<int>(args.size());
    bool list = false, test = false, junk = false;
    TUZOverwriteMode overwrite = Always;
    std::string password, dest;
    bool haveDest = false;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        std::string a = args[i];
        if (a == "-l") list = true;
        else if (a == "-t") test = true;
        else if (a == "-j") junk = true;
        else if ((a == "-o" || a == "-P" || a == "-d") && i + 1 < argc) {
            std::string v = args[++i];
            if (a == "-P") password = v;
            else if (a == "-d") { dest = v; haveDest = true; }
            else if (v == "always") overwrite = Always;
            else if (v == "never") overwrite = Never;
            else if (v == "newer") overwrite = ifNewer;
            else if (v == "older") overwrite = ifOlder;
            else return Usage();
        } else if (a.size() > 1 && a[0] == '-' && rest.empty()) {
            return Usage();
        } else {
            rest.push_back(a);
        }
    }
    if (rest.empty()) return Usage();

    TUnZipper z;
    bool anyBad = false;
    try {
        z.SetZipName(platform::Utf8ToText(rest[0]));
        z.Password = password;
        z.DoProcessMessages = false;
        z.OnSkippingFile = [&](TUnZipper*, TSkipReason r, const std::u16string& name, int, bool&) {
            anyBad = true;
            platform::PrintText(stdout, "  skipped: %s (%s)\n", TextToUtf8(name).c_str(), ReasonText(r));
        };
        z.OnBadCRC = [&](TUnZipper* s, uint32_t calc, uint32_t stored, int index) {
            anyBad = true;
            const TZipHeaderInfo& entry = s->Entry(index);
            if (!unzip::MethodSupported(entry.compression_method))
                platform::PrintText(stdout, "   failed: %s (unsupported compression method %u)\n",
                                    TextToUtf8(entry.FullName()).c_str(), unsigned(entry.compression_method));
            else
                platform::PrintText(stdout, "   failed: %s (bad CRC %08x, stored %08x)\n",
                                    TextToUtf8(entry.FullName()).c_str(), calc, stored);
        };
        if (list) {
            z.ReadZip();
            if (z.Count() == 0 && z.ZipSize() > 0) {
                // A directory that could not be read was set aside by ReadZip.
                z.CheckArchive();
            }
            platform::PrintText(stdout, "%12s %12s %6s %-16s %s\n", "Size", "Compressed", "Method", "Date", "Name");
            for (int i = 0; i < z.Count(); ++i) {
                TZipHeaderInfo& e = z.Entry(i);
                platform::PrintText(stdout, "%12" PRIu64 " %12" PRIu64 " %6u %-16s %s\n", e.UncompressedSize(), e.CompressedSize(),
                            e.compression_method, DateText(e.last_mod_file_date_time).c_str(),
                            TextToUtf8(e.FullName()).c_str());
            }
            return 0;
        }
        if (test) {
            z.OnEndUnZip = [&](TUnZipper*, int, const std::u16string& name) {
                platform::PrintText(stdout, "       OK: %s\n", TextToUtf8(name).c_str());
            };
            bool ok = z.CheckArchive();
            return ok && !anyBad ? 0 : 1;
        }
        z.SetDestDir(haveDest ? platform::Utf8ToText(dest) : platform::GetCurrentDir());
        z.RecreateDirs = !junk;
        z.OverwriteMode = overwrite;
        if (rest.size() == 1) {
            z.DoAll = true;
        } else {
            for (size_t i = 1; i < rest.size(); ++i) z.FilesList.push_back(platform::Utf8ToText(rest[i]));
        }
        z.OnEndUnZip = [&](TUnZipper*, int, const std::u16string& name) {
            platform::PrintText(stdout, "  written: %s\n", TextToUtf8(name).c_str());
        };
        z.UnZip();
        return anyBad ? 1 : 0;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        platform::PrintText(stderr, "%s\n", e.what());
        return 2;
    }
}
