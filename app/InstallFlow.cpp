// The install action, the start of the download and the installation of the
// downloaded release archive.
#include <QCoreApplication>
#include <QLabel>
#include <QTabWidget>

#include <chrono>
#include <cstdio>
#include <thread>

#include "app/Cleanup.h"
#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/MainFrm.h"
#include "app/ReleaseSignature.h"
#include "app/ServerAddresses.h"
#include "app/SystemInfoU.h"
#include "app/Texts.h"
#include "http/NetHTTP.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "unzip/UnZipper.h"

namespace {

// Unattended runs end in the two failure states with these statuses, after
// writing the hint line to standard error.
constexpr int kExitNetworkFailure = 1;
constexpr int kExitInstallFailed = 2;

void EndUnattendedRun(TMainForm* Form, int Status) {
    if (!dialogs::Unattended()) return;
    // Queued behind the state change, so the hint read here is the new one.
    Form->RunOnWindowThread([Form, Status] {
        std::fprintf(stderr, "%s\n", Form->lb_Hint->text().toUtf8().constData());
        std::fflush(stderr);
        QCoreApplication::exit(Status);
    });
}

}  // namespace

void TMainForm::StartUnattended() {
    QMetaObject::invokeMethod(this, [this] { Btn_InstallClick(FBtn_Install); }, Qt::QueuedConnection);
}

void TMainForm::Btn_InstallClick(QObject*) {
    const std::u16string url = ServerAddresses::UpdateInfoUrl(TMySystemInfo::IsWindowXP());
    const std::u16string installDir = InstallDirText();
    if (installDir.empty()) {
        SetWindowState(TWindowState::NoInstallFolder);
        EndUnattendedRun(this, kExitNetworkFailure);
        return;
    }
    SetWindowState(TWindowState::AskingServer);
    lb_Hint->repaint();
    ProcessMessages();
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
        SetPercentVisible(true);
        std::u16string appName = installDir;
        if (appName.back() != u'/') appName += u'/';
        appName += std::u16string(texts::SClientFolder) + u"/" + texts::SClientExe;
        AutoUpdate(address, appName);
    } catch (...) {
        DownLoadError(nullptr);
    }
}

void TMainForm::AutoUpdate(const std::u16string& Url, const std::u16string& AppName) {
    RunOnWindowThread([this] { PG->setCurrentWidget(tb_AutoUpdate); });
    EndProcesses(ExtractFileName(AppName));
    if (Url.empty() || AppName.empty()) return;
    FUrl = Url;
    FAppName = AppName;
    DeleteDir(GetUpdateDir());
    const std::u16string localArchive = GetUpdateDir() + texts::SLocalArchive;

    THttpDownLoad* downLoader = NewDownLoader(this, G_Process);
    downLoader->SetDownLoadUrl(FUrl);
    downLoader->SetLocalFileName(localArchive);
    downLoader->SetFileID(100);
    downLoader->OnDownLoadFinish = [this](THttpDownLoad* Sender) {
        if (!WindowLinkCut()) DownLoadFinish(Sender);
    };
    downLoader->OnDownLoadError = [this](THttpDownLoad* Sender) {
        if (!WindowLinkCut()) DownLoadError(Sender);
    };
    downLoader->DownLoad();
    SetWindowState(TWindowState::Downloading);
}

void TMainForm::DownLoadError(THttpDownLoad*) {
    SetWindowState(TWindowState::NetworkFailure);
    G_Process->SetProgress(0);
    ProcessMessages();
    EndUnattendedRun(this, kExitNetworkFailure);
}

void TMainForm::DownLoadFinish(THttpDownLoad* Sender) {
    switch (Sender->FileID()) {
        case 100: InstallUpdate(Sender); break;
        case 200: InstallPackage(Sender); break;
        default: break;
    }
}

void TMainForm::InstallUpdate(THttpDownLoad* Sender) {
    const std::u16string localArchive = Sender->LocalFileName();
    const std::u16string clientFolder = ExtractFilePath(FAppName);
    const std::u16string clientFileName = ExtractFileName(FAppName);
    SetWindowState(TWindowState::Installing);
    ProcessMessages();
    // A build with a release key installs only archives its publisher signed;
    // anything else is deleted before a byte of it is extracted.
    if (!release::ArchiveAccepted(localArchive, FSignature)) {
        platform::DeleteFile(localArchive);
        SetWindowState(TWindowState::SignatureRefused);
        EndUnattendedRun(this, kExitInstallFailed);
        return;
    }
    try {
        UnZipper->SetZipName(localArchive);
        UnZipper->FilesList.push_back(texts::SAllFiles);
        UnZipper->DoAll = true;
        UnZipper->Password = texts::SArchivePassword;
        UnZipper->SetDestDir(clientFolder);
        UnZipper->OverwriteMode = unzip::Always;
        UnZipper->RecreateDirs = true;
        UnZipper->UnZip();
        G_Process->SetProgress(G_Process->MaxValue());
    } catch (...) {
        SetWindowState(TWindowState::InstallFailed);
        AddLogLine(u"");
        EndUnattendedRun(this, kExitInstallFailed);
        return;
    }
    DeleteDir(GetUpdateDir());
    SetWindowState(TWindowState::StartingClient);
    ProcessMessages();
    const std::vector<std::u16string> hits = SearchFile(clientFileName, clientFolder, true, true);
    if (!hits.empty()) {
        const std::u16string clientPath = hits.front();
        // A shortcut or uninstall entry that cannot be made would leave the
        // window waiting with both buttons disabled; it fails the installation.
        try {
            CreateShortcut(clientPath);
            const std::u16string startFolder = ExtractFilePath(clientPath);
            WriteUninstallInfo(startFolder);
            platform::ShellExecute(clientPath, {}, startFolder);
        } catch (...) {
            SetWindowState(TWindowState::InstallFailed);
            EndUnattendedRun(this, kExitInstallFailed);
            return;
        }
    }
    EndProcesses(ExtractFileName(platform::CurrentExecutable()));
    // Only reached when this program could not find itself among the
    // processes: it ends through its message loop instead.
    EndMessageLoop();
}

void TMainForm::UnZipperStartUnZip(unzip::TUnZipper*, int, std::u16string& FName, bool&) {
    if (!platform::FileExists(FName)) return;
    platform::DeleteFileUnlessInUse(FName);
    for (int wait : {100, 200, 500, 1000}) {
        if (!platform::FileExists(FName)) break;
        platform::DeleteFileUnlessInUse(FName);
        std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    }
    if (!platform::FileExists(FName)) AddLogLine(texts::SLogDeleted + FName);
}

void TMainForm::UnZipperEndUnZip(unzip::TUnZipper*, int, const std::u16string& FName) {
    if (CallOnWindowThread([this] { return PG->currentWidget() == tb_AutoUpdate; }))
        AddLogLine(texts::SLogExtracted + FName);
    ProcessMessages();
}
