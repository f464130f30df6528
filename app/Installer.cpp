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
}

TInstaller::~TInstaller() = default;
