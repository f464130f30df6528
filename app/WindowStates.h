// The window's state table, free of any window toolkit: for each state the
// hint text and colour, whether Install and Change are enabled, and what the
// percent label does. Both front ends apply these rows; nothing else makes a
// state.
#pragma once

#include "app/Texts.h"
#include "controls/Colors.h"

namespace app {

// The window's colours (0x00BBGGRR).
inline constexpr controls::TColor kTeal = controls::RGBToColor(0x02, 0xB4, 0xA8);
inline constexpr controls::TColor kDarkTeal = controls::RGBToColor(0x01, 0x9B, 0x91);
inline constexpr controls::TColor kDarkGrey = controls::RGBToColor(0x33, 0x33, 0x33);
inline constexpr controls::TColor kMidGrey = controls::RGBToColor(0x66, 0x66, 0x66);
inline constexpr controls::TColor kRed = controls::RGBToColor(0xDD, 0x4B, 0x39);
inline constexpr controls::TColor kLightGrey = controls::RGBToColor(0xCC, 0xCC, 0xCC);

}  // namespace app

// The rows of the window's state table.
enum class TWindowState {
    Ready,           // at creation
    AskingServer,    // Install pressed
    Downloading,     // archive address received
    Installing,      // download complete
    InstallFailed,   // extraction failed or incomplete, or the client not made (Change stays disabled)
    SignatureRefused,// the archive's signature did not verify: as InstallFailed, own hint
    FolderUnusable,  // the client folder cannot be made: installation-failed hint, both buttons enabled
    StartingClient,  // extraction done
    NetworkFailure,  // request or download failed (red hint; label hidden, "0%")
    NoInstallFolder, // Install pressed with an empty install folder (red hint)
};

namespace app {

struct TStateRow {
    enum TPercent { Hidden, Shown, Reset };  // Reset: hidden with the text "0%"
    const char16_t* Hint;
    controls::TColor HintColor;
    bool Install, Change;
    TPercent Percent;
};

constexpr TStateRow StateRow(TWindowState State) {
    switch (State) {
        case TWindowState::Ready: return {texts::SHintReady, kMidGrey, true, true, TStateRow::Hidden};
        case TWindowState::AskingServer: return {texts::SHintAskingServer, kMidGrey, false, false, TStateRow::Hidden};
        case TWindowState::Downloading: return {texts::SHintDownloading, kMidGrey, false, false, TStateRow::Shown};
        case TWindowState::Installing: return {texts::SHintInstalling, kMidGrey, false, false, TStateRow::Shown};
        case TWindowState::InstallFailed: return {texts::SHintInstallFailed, kMidGrey, true, false, TStateRow::Shown};
        case TWindowState::SignatureRefused:
            return {texts::SHintSignatureRefused, kMidGrey, true, false, TStateRow::Shown};
        case TWindowState::FolderUnusable:
            return {texts::SHintInstallFailed, kMidGrey, true, true, TStateRow::Hidden};
        case TWindowState::StartingClient:
            return {texts::SHintStartingClient, kMidGrey, false, false, TStateRow::Shown};
        case TWindowState::NetworkFailure: return {texts::SHintNetworkFailure, kRed, true, true, TStateRow::Reset};
        case TWindowState::NoInstallFolder: return {texts::SHintNoInstallFolder, kRed, true, true, TStateRow::Hidden};
    }
    return {texts::SHintReady, kMidGrey, true, true, TStateRow::Hidden};
}

}  // namespace app
