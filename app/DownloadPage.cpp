// The second installation flow, on the page of the hidden page control that
// no user reaches: it installs the second client program into "Vantrell"
// below the page's folder.
#include <exception>

#include "app/Cleanup.h"
#include "app/Dialogs.h"
#include "app/DownLoadLink.h"
#include "app/Installer.h"
#include "app/ServerAddresses.h"
#include "download/HttpDownLoad.h"
#include "download/Progress.h"
#include "app/Texts.h"
#include "http/NetHTTP.h"
#include "platform/codepage.h"
#include "platform/exception.h"
#include "platform/shell.h"
#include "unzip/UnZipper.h"
#include "platform/pathdelim.h"

namespace {

std::u16string MessageOf(const std::exception& e) {
    if (auto* own = dynamic_cast<const platform::Exception*>(&e)) return own->Message();
    return platform::Utf8ToText(e.what());
}

std::u16string Format(std::u16string Pattern, const std::u16string& Value) {
    size_t at = Pattern.find(u"%s");
    if (at != std::u16string::npos) Pattern.replace(at, 2, Value);
    return Pattern;
}

}  // namespace

std::u16string TInstaller::GetDownLoadUrl(const std::u16string& Url) {
    NetHTTP->ReadTimeout = 10000;
    const std::u16string reply = NetHTTP->Get(Url);
    if (reply.empty()) return {};
    return ServerAddresses::ArchiveUrlOfReply(reply);
}

void TInstaller::Btn_DownLoadAndRunClick(TSender) {
    // A failure of the request or of its reply is shown as the program's
    // default error display does: a message box with the error's message.
    try {
        FUrl = GetDownLoadUrl(ServerAddresses::TestUpdateInfoUrl());
    } catch (const std::exception& e) {
        dialogs::ShowMessageBox(MessageOf(e));
        return;
    }
    if (FUrl.empty()) {
        dialogs::ShowMessageBox(texts::SNoDownloadInfo);
        return;
    }
    window_.SetDownloadPageEnabled(false);

    const std::u16string folder = window_.PackageFolderText();
    THttpDownLoad* downLoader = NewDownLoader(window_, window_.DownloadPageGauge());
    downLoader->SetDownLoadUrl(FUrl);
    downLoader->SetLocalFileName(folder + platform::PathDelimText() + texts::SPackageArchiveName +
                                 texts::SPackageArchiveExt);
    downLoader->SetFileID(200);
    downLoader->OnDownLoadFinish = [this](THttpDownLoad* Sender) {
        if (!WindowLinkCut()) DownLoadFinish(Sender);
    };
    downLoader->DownLoad();
    window_.SetHint1(texts::SHint1Downloading);
}

void TInstaller::InstallPackage(THttpDownLoad* Sender) {
    window_.SetHint1(texts::SHint1Downloaded);
    const std::u16string localArchive = Sender->LocalFileName();
    const std::u16string folder = window_.PackageFolderText();
    const std::u16string programFolder = folder + platform::PathDelimText() + texts::SPackageFolder;
    const std::u16string programPath = programFolder + platform::PathDelimText() + texts::SPackageExe;
    EndProcesses(texts::SPackageExe);
    if (!platform::DirectoryExists(programFolder)) platform::ForceDirectories(programFolder);
    window_.ProcessMessages();
    window_.SetHint1(texts::SHint1Extracting);
    try {
        UnZipper->SetZipName(localArchive);
        UnZipper->FilesList.push_back(texts::SAllFiles);
        UnZipper->DoAll = true;
        UnZipper->Password = texts::SArchivePassword;
        UnZipper->SetDestDir(programFolder);
        UnZipper->OverwriteMode = unzip::Always;
        UnZipper->RecreateDirs = true;
        UnZipper->UnZip();
        window_.DownloadPageGauge().SetProgress(window_.DownloadPageGauge().MaxValue());
    } catch (const std::exception& e) {
        dialogs::ShowMessageBox(Format(texts::SExtractError, MessageOf(e)));
        return;
    }
    platform::DeleteFile(localArchive);
    window_.SetHint1(texts::SHint1Extracted);
    window_.ProcessMessages();
    if (window_.DesktopShortcutChecked()) CreateShortcut(programPath);
    if (window_.RunAfterInstallChecked())
        platform::ShellExecute(programPath, {}, programFolder);
    window_.ProcessMessages();
    window_.EndMessageLoop(0);
    window_.ProcessMessages();
}

void TInstaller::Btn_Close1Click(TSender) { window_.EndMessageLoop(0); }
