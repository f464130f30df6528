// The link between the window and the downloaders it starts: adapters that
// give a downloader the window's gauge, percent label, log and message boxes
// through download/Progress.h, and the keeping of every downloader until the
// program ends (the window itself keeps no reference to one).
//
// When the message loop ends, the link is cut: the downloaders are asked to
// stop, and their progress and events no longer reach the window, which is
// about to go away.
#pragma once

#include <memory>

#include "download/HttpDownLoad.h"

class TMainForm;
namespace controls { class TProgressGauge; }

// A new downloader moving Gauge, reporting to Form. It lives until the
// program ends; the caller sets it up and starts it.
download::THttpDownLoad* NewDownLoader(TMainForm* Form, controls::TProgressGauge* Gauge);

// True once the message loop has ended; events arriving then are dropped.
bool WindowLinkCut();

// True while a downloader's worker thread is still running (it may be in the
// middle of an installation that uses the window's components).
bool DownLoadersRunning();
