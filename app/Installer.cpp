#include "app/Installer.h"

#include "http/NetHTTP.h"
#include "unzip/UnZipper.h"

TInstaller::TInstaller(IInstallerWindow& Window)
    : UnZipper(std::make_unique<unzip::TUnZipper>()), NetHTTP(std::make_unique<http::TNetHTTP>()), window_(Window) {
    UnZipper->OnStartUnZip = [this](unzip::TUnZipper* Sender, int FileIndex, std::u16string& FName, bool& Skip) {
        UnZipperStartUnZip(Sender, FileIndex, FName, Skip);
    };
    UnZipper->OnEndUnZip = [this](unzip::TUnZipper* Sender, int FileIndex, const std::u16string& FName) {
        UnZipperEndUnZip(Sender, FileIndex, FName);
    };
    // The tally of the running extraction (InstallUpdate reads it).
    UnZipper->OnStartUnZipInfo = [this](unzip::TUnZipper*, int NumFiles, int64_t, bool&) {
        FExtraction.Chosen = NumFiles;
    };
    UnZipper->OnSkippingFile = [this](unzip::TUnZipper*, unzip::TSkipReason, const std::u16string&, int, bool&) {
        ++FExtraction.Failed;
    };
    UnZipper->OnBadCRC = [this](unzip::TUnZipper*, uint32_t, uint32_t, int) { ++FExtraction.Failed; };
}

TInstaller::~TInstaller() = default;
