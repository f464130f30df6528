// The install action, the start of the download and the installation of the
// downloaded release archive.
#include <chrono>
#include <cstdio>
#include <thread>

#include "app/Cleanup.h"
#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/Installer.h"
#include "app/ReleaseSignature.h"
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
    // The client was not installed: its folder cannot be made, the archive's
    // signature did not verify, the archive did not extract completely, or
    // the client, its shortcut or its uninstall entry is missing.
    kExitClientNotInstalled = 2,
};

TExitStatus ExitStatusOf(TWindowState State) {
    switch (State) {
        case TWindowState::NoInstallFolder:
        case TWindowState::NetworkFailure: return kExitArchiveNotFetched;
        default: return kExitClientNotInstalled;  // InstallFailed, SignatureRefused, FolderUnusable
    }
}

}  // namespace

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
        FSignature = ServerAddresses::SignatureOfReply(reply);
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
    window_.ShowAutoUpdatePage();
    EndProcesses(ExtractFileName(AppName));
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
    // A build with a release key installs only archives its publisher signed;
    // anything else is deleted before a byte of it is extracted.
    if (!release::ArchiveAccepted(localArchive, FSignature)) {
        platform::DeleteFile(localArchive);
        FailInstallation(TWindowState::SignatureRefused);
        return;
    }
    // An entry skipped or failed (wrong password, CRC or authentication
    // error, a file that cannot be written) fails the installation like an
    // archive that cannot be read: nothing half-installed is registered or
    // started, and the archive stays for the next try.
    FExtraction = {};
    bool extracted = false;
    try {
        UnZipper->SetZipName(localArchive);
        UnZipper->FilesList.push_back(texts::SAllFiles);
        UnZipper->DoAll = true;
        UnZipper->Password = texts::SArchivePassword;
        UnZipper->SetDestDir(clientFolder);
        UnZipper->OverwriteMode = unzip::Always;
        UnZipper->RecreateDirs = true;
        FExtraction.Written = UnZipper->UnZip();
        window_.InstallGauge().SetProgress(window_.InstallGauge().MaxValue());
        extracted = FExtraction.Complete();
    } catch (...) {
        // An archive that cannot be read or an entry that cannot be written
        // out ends the run: not extracted.
    }
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
    // A shortcut or uninstall entry that cannot be made would leave the
    // window waiting with both buttons disabled; it fails the installation.
    try {
        CreateShortcut(clientPath);
        const std::u16string startFolder = ExtractFilePath(clientPath);
        WriteUninstallInfo(startFolder);
        platform::ShellExecute(clientPath, {}, startFolder);
    } catch (...) {
        FailInstallation(TWindowState::InstallFailed);
        return;
    }
    EndProcesses(ExtractFileName(platform::CurrentExecutable()));
    // Only reached when this program could not find itself among the
    // processes: it ends through its message loop instead.
    window_.EndMessageLoop(0);
}

void TInstaller::UnZipperStartUnZip(unzip::TUnZipper*, int, std::u16string& FName, bool&) {
    if (!platform::FileExists(FName)) return;
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
