// The installation flows of the main window, free of any window toolkit:
// the install action and update request, the download, the extraction, the
// desktop shortcut, the uninstall entry, the start of the client, the end of
// the program, the hidden download page, the folder selection and the close
// button. They reach the window only through IInstallerWindow, so the Qt and
// the Win32 window run the same flows.
//
// Threads. The click handlers run on the window's thread. The downloader
// calls DownLoadFinish and DownLoadError on its worker thread, so the whole
// installation runs there; the window interface takes changes from any
// thread.
#pragma once

#include <memory>
#include <string>

#include "app/InstallerWindow.h"
#include "app/ReleaseStatement.h"

namespace download { class THttpDownLoad; }
namespace http { class TNetHTTP; }
namespace unzip { class TUnZipper; }

using download::THttpDownLoad;

// What one extraction run did, taken from the extraction component's own
// count and events. An installation goes on only when every entry the run
// chose was written.
struct TExtractionTally {
    int Chosen = 0;   // entries the run selected (OnStartUnZipInfo)
    int Written = 0;  // good entries (the count UnZip returns)
    int Failed = 0;   // entries skipped or failed (OnSkippingFile, OnBadCRC)
    bool Complete() const { return Failed == 0 && Written == Chosen; }
};

class TInstaller {
public:
    // The object that raised an event (a button), for identity only.
    using TSender = const void*;

    explicit TInstaller(IInstallerWindow& Window);
    virtual ~TInstaller();

    // ---- Fields used by the flows (empty at creation) ----
    std::u16string FUrl;      // address of the running installation's release archive
    std::u16string FAppName;  // full path of the client executable the installation produces
    release::TRelease FRelease;  // the running installation's checked release statement
    // The extraction component (its start and end events run
    // UnZipperStartUnZip and UnZipperEndUnZip) and the download page's HTTP
    // client.
    std::unique_ptr<unzip::TUnZipper> UnZipper;
    std::unique_ptr<http::TNetHTTP> NetHTTP;

    // ---- The flows ----
    void Btn_InstallClick(TSender Sender);
    void AutoUpdate(const std::u16string& Url, const std::u16string& AppName);
    void DownLoadError(THttpDownLoad* Sender);
    void DownLoadFinish(THttpDownLoad* Sender);
    void UnZipperStartUnZip(unzip::TUnZipper* Sender, int FileIndex, std::u16string& FName, bool& Skip);
    void UnZipperEndUnZip(unzip::TUnZipper* Sender, int FileIndex, const std::u16string& FName);
    void Btn_CloseClick(TSender Sender);
    void Btn_SelectDirClick(TSender Sender);
    void Btn_DirClick(TSender Sender);
    void Btn_DownLoadAndRunClick(TSender Sender);
    void Btn_Close1Click(TSender Sender);
    // The work folder inside the client folder (created when missing), or
    // empty text when FAppName is empty.
    std::u16string GetUpdateDir();
    // Unattended mode: presses Install once the message loop runs. The run
    // ends the program itself (status 0), or ends when the window reaches a
    // failure state, with the status that state stands for (InstallFlow.cpp).
    void StartUnattended();

private:
    void InstallUpdate(THttpDownLoad* Sender);
    void InstallPackage(THttpDownLoad* Sender);
    std::u16string GetDownLoadUrl(const std::u16string& Url);
    void WriteUninstallInfo(const std::u16string& Folder);
    // The release version the last installation recorded beside its
    // uninstall entry; empty when there is none.
    std::string InstalledReleaseVersion();
    // Checks the update reply's release statement (and, for a reply that
    // came over https, that the archive's address is https too); keeps the
    // accepted statement in FRelease.
    release::TVerdict CheckRelease(const std::u16string& RequestUrl, const std::u16string& ArchiveUrl,
                                   const std::u16string& Reply);
    void CreateShortcut(const std::u16string& FileName);
    // Puts the window into a failure state and ends an unattended run.
    void FailInstallation(TWindowState State);

    TExtractionTally FExtraction;  // the running installation's extraction
    IInstallerWindow& window_;
};
