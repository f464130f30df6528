// The install action, the start of the download and the installation of the
// downloaded release archive.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/Cleanup.h"
#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/Installer.h"
#include "app/ServerAddresses.h"
#include "download/HttpDownLoad.h"
#include "download/Progress.h"
#include "app/SystemInfoU.h"
#include "app/Texts.h"
#include "http/NetHTTP.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "unzip/UnZipper.h"
#include "platform/pathdelim.h"

namespace {

// The statuses an unattended run ends with in the failure states (it ends
// with 0 when the installation ends the program).
enum TExitStatus {
    // The release archive was not fetched: no install folder was given, or
    // the request or the download failed.
    kExitArchiveNotFetched = 1,
    // The client was not installed: its folder cannot be made, the release
    // was refused (its statement, or the archive against it), the archive did
    // not extract completely, or the client, its shortcut or its uninstall
    // entry is missing.
    kExitClientNotInstalled = 2,
};

TExitStatus ExitStatusOf(TWindowState State) {
    switch (State) {
        case TWindowState::NoInstallFolder:
        case TWindowState::NetworkFailure: return kExitArchiveNotFetched;
        default: return kExitClientNotInstalled;  // InstallFailed, SignatureRefused, FolderUnusable
    }
}

bool IsHttps(const std::u16string& Url) {
    static constexpr std::u16string_view kScheme = u"https://";
    if (Url.size() < kScheme.size()) return false;
    return std::equal(kScheme.begin(), kScheme.end(), Url.begin(),
                      [](char16_t a, char16_t b) { return a == (b >= u'A' && b <= u'Z' ? b + 32 : b); });
}

}  // namespace

release::TVerdict TInstaller::CheckRelease(const std::u16string& RequestUrl, const std::u16string& ArchiveUrl,
                                           const std::u16string& Reply) {
    // A reply that came over https cannot send the archive in the clear.
    if (IsHttps(RequestUrl) && !IsHttps(ArchiveUrl)) return release::TVerdict::PlainArchiveAddress;
    using namespace std::chrono;
    const int64_t now = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    return release::CheckStatement(ServerAddresses::StatementOfReply(Reply), ServerAddresses::SignatureOfReply(Reply),
                                   InstalledReleaseVersion(), now, FRelease);
}

void TInstaller::FailInstallation(TWindowState State) {
    window_.SetWindowState(State);
    if (!dialogs::Unattended()) return;
    // Queued behind the state change, so the hint read here is the new one.
    window_.RunOnWindowThread([this, Status = ExitStatusOf(State)] {
        dialogs::WriteHintLine(window_.HintText());
        window_.EndMessageLoop(Status);
    });
}

void TInstaller::StartUnattended() {
    window_.PostToWindowThread([this] { Btn_InstallClick(nullptr); });
}

void TInstaller::Btn_InstallClick(TSender) {
    const std::u16string url = ServerAddresses::UpdateInfoUrl(TMySystemInfo::IsWindowXP());
    const std::u16string installDir = window_.InstallDirText();
    if (installDir.empty()) {
        FailInstallation(TWindowState::NoInstallFolder);
        return;
    }
    window_.SetWindowState(TWindowState::AskingServer);
    window_.ProcessMessages();
    try {
        http::TNetHTTP client;
        client.ReadTimeout = 10000;
        const std::u16string reply = client.Get(url);
        // An empty reply or one without an address would leave the window
        // waiting with both buttons disabled; it is a failed request.
        if (reply.empty()) {
            DownLoadError(nullptr);
            return;
        }
        const std::u16string address = ServerAddresses::ArchiveUrlOfReply(reply);
        if (address.empty()) {
            DownLoadError(nullptr);
            return;
        }
        // Nothing is ended or downloaded for a release the publisher did
        // not sign, an older or expired one, or one for another product.
        if (CheckRelease(url, address, reply) != release::TVerdict::Accepted) {
            FailInstallation(TWindowState::SignatureRefused);
            return;
        }
        window_.SetPercentVisible(true);
        std::u16string appName = installDir;
        if (appName.back() != platform::PathDelim) appName += platform::PathDelim;
        appName += std::u16string(texts::SClientFolder) + platform::PathDelim + texts::SClientExe;
        AutoUpdate(address, appName);
    } catch (...) {
        DownLoadError(nullptr);
    }
}

void TInstaller::AutoUpdate(const std::u16string& Url, const std::u16string& AppName) {
    // The running client keeps running through the download: it is ended
    // once the archive is verified, right before the extraction.
    window_.ShowAutoUpdatePage();
    if (Url.empty() || AppName.empty()) return;
    FUrl = Url;
    FAppName = AppName;
    // The work folder is kept across attempts: a partial archive there is
    // continued when its record says it is a part of the same remote file.
    const std::u16string workFolder = GetUpdateDir();
    // A client folder that cannot be made (a file of its name, no rights)
    // would only fail later as a download error; it fails the installation.
    if (!platform::DirectoryExists(workFolder)) {
        FailInstallation(TWindowState::FolderUnusable);
        return;
    }
    const std::u16string localArchive = workFolder + platform::PathDelimText() + texts::SLocalArchive;

    THttpDownLoad* downLoader = NewDownLoader(window_, window_.InstallGauge());
    downLoader->SetDownLoadUrl(FUrl);
    downLoader->SetLocalFileName(localArchive);
    downLoader->SetFileID(100);
    downLoader->Network = download::kRealLinePolicy;
    downLoader->ResumeRecordFileName = localArchive + texts::SResumeRecordExt;
    downLoader->OnDownLoadFinish = [this](THttpDownLoad* Sender) {
        if (!WindowLinkCut()) DownLoadFinish(Sender);
    };
    downLoader->OnDownLoadError = [this](THttpDownLoad* Sender) {
        if (!WindowLinkCut()) DownLoadError(Sender);
    };
    downLoader->DownLoad();
    window_.SetWindowState(TWindowState::Downloading);
}

void TInstaller::DownLoadError(THttpDownLoad* Sender) {
    // A disk that is full or cannot be written is no network failure; the
    // partial archive stays for the next attempt.
    const bool diskFailed = Sender != nullptr && Sender->LocalFileFailed();
    FailInstallation(diskFailed ? TWindowState::InstallFailed : TWindowState::NetworkFailure);
    window_.InstallGauge().SetProgress(0);
    window_.ProcessMessages();
}

void TInstaller::DownLoadFinish(THttpDownLoad* Sender) {
    switch (Sender->FileID()) {
        case 100: InstallUpdate(Sender); break;
        case 200: InstallPackage(Sender); break;
        default: break;
    }
}

void TInstaller::InstallUpdate(THttpDownLoad* Sender) {
    const std::u16string localArchive = Sender->LocalFileName();
    const std::u16string clientFolder = ExtractFilePath(FAppName);
    const std::u16string clientFileName = ExtractFileName(FAppName);
    window_.SetWindowState(TWindowState::Installing);
    window_.ProcessMessages();
    // The archive is opened once and held: the bytes checked against the
    // release statement are the bytes extracted. A refused archive is
    // deleted before a byte of it is extracted.
    release::TVerifiedArchive archive(localArchive, FRelease);
    if (!archive.Accepted()) {
        archive.Close();
        platform::DeleteFile(localArchive);
        FailInstallation(TWindowState::SignatureRefused);
        return;
    }
    EndProcesses(clientFileName);
    // An entry skipped or failed (wrong password, CRC or authentication
    // error, a file that cannot be written) fails the installation like an
    // archive that cannot be read: nothing half-installed is registered or
    // started, and the archive stays for the next try.
    FExtraction = {};
    bool extracted = false;
    try {
        UnZipper->SetArchiveStream(&archive.Stream());
        UnZipper->FilesList.push_back(texts::SAllFiles);
        UnZipper->DoAll = true;
        UnZipper->Password = texts::SArchivePassword;
        UnZipper->SetDestDir(clientFolder);
        UnZipper->OverwriteMode = unzip::Always;
        UnZipper->ReplaceReadOnly = true;
        UnZipper->RecreateDirs = true;
        FExtraction.Written = UnZipper->UnZip();
        window_.InstallGauge().SetProgress(window_.InstallGauge().MaxValue());
        extracted = FExtraction.Complete();
    } catch (...) {
        // An archive that cannot be read or an entry that cannot be written
        // out ends the run: not extracted.
    }
    UnZipper->SetArchiveStream(nullptr);
    UnZipper->KeepZipOpen = false;
    archive.Close();
    if (!extracted) {
        // The archive is whole and still does not install: the next attempt
        // fetches it again instead of continuing it.
        platform::DeleteFile(localArchive + texts::SResumeRecordExt);
        FailInstallation(TWindowState::InstallFailed);
        window_.AddLogLine(u"");
        return;
    }
    window_.SetWindowState(TWindowState::StartingClient);
    window_.ProcessMessages();
    const std::vector<std::u16string> hits = SearchFile(clientFileName, clientFolder, true, true);
    // Without the client there is nothing to register or start; the work
    // folder is removed only once the client is there, so a failed
    // installation keeps its archive.
    if (hits.empty()) {
        platform::DeleteFile(localArchive + texts::SResumeRecordExt);
        FailInstallation(TWindowState::InstallFailed);
        return;
    }
    DeleteDir(GetUpdateDir());
    const std::u16string clientPath = hits.front();
    // A shortcut or uninstall entry that cannot be made, or a client that
    // cannot be started, fails the installation: the program never ends as
    // if the client ran.
    try {
        CreateShortcut(clientPath);
        const std::u16string startFolder = ExtractFilePath(clientPath);
        WriteUninstallInfo(startFolder);
        if (!platform::StartAsDesktopUser(clientPath, startFolder)) {
            FailInstallation(TWindowState::InstallFailed);
            return;
        }
    } catch (...) {
        FailInstallation(TWindowState::InstallFailed);
        return;
    }
    // The program ends its own process: by its file name it would also end
    // every other program saved under the same name ("setup.exe").
    platform::EndCurrentProcess();
}

void TInstaller::UnZipperStartUnZip(unzip::TUnZipper*, int, std::u16string& FName, bool&) {
    if (!platform::FileExists(FName)) return;
    // A file of the installation made read-only (by its archive's attributes)
    // would refuse every later update: its own files may always be replaced.
    const int mode = platform::GetFileMode(FName);
    if (mode >= 0 && !(mode & 0200)) platform::SetFileMode(FName, mode | 0200);
    platform::DeleteFileUnlessInUse(FName);
    for (int wait : {100, 200, 500, 1000}) {
        if (!platform::FileExists(FName)) break;
        platform::DeleteFileUnlessInUse(FName);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    if (!platform::FileExists(FName)) window_.AddLogLine(texts::SLogDeleted + FName);
}

void TInstaller::UnZipperEndUnZip(unzip::TUnZipper*, int, const std::u16string& FName) {
    if (window_.AutoUpdatePageActive())
        window_.AddLogLine(texts::SLogExtracted + FName);
    window_.ProcessMessages();
}
