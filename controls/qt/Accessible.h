// How assistive technology sees the Qt controls: the image button as a push
// button (named by its caption, or by its hint when it shows none) that a
// screen reader can press, the gauge as a progress bar with its value and
// range. Installed once, by the first control made.
#pragma once

namespace controls {

void InstallAccessibleFactory();

}  // namespace controls
