// The link between the window and the downloaders it starts: adapters that
// give a downloader the window's gauge, percent label, log and message boxes
// through download/Progress.h, and the keeping of every downloader until the
// program ends (the window itself keeps no reference to one).
//
// When the message loop ends, the front end cuts the link: the downloaders
// are asked to stop, and their progress and events no longer reach the
// window, which is about to go away.
#pragma once

#include <memory>

#include "app/InstallerWindow.h"
#include "download/HttpDownLoad.h"

// A new downloader moving Gauge, reporting to Window. It lives until the
// program ends; the caller sets it up and starts it.
download::THttpDownLoad* NewDownLoader(IInstallerWindow& Window, download::IProgressGauge& Gauge);

// Cuts the link; called by the front end once its message loop has ended.
void CutWindowLink();

// True once the message loop has ended; events arriving then are dropped.
bool WindowLinkCut();

// True while a downloader's worker thread is still running (it may be in the
// middle of an installation that uses the window's components).
bool DownLoadersRunning();
