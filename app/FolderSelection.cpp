// The install-folder selection: the Change button and the download page's
// browse button run the folder dialog and put the chosen folder into their
// folder boxes.
#include "app/Dialogs.h"
#include "app/Installer.h"
#include "app/Texts.h"

void TInstaller::Btn_SelectDirClick(TSender) {
    std::u16string directory;
    if (dialogs::BrowseForFolder(texts::SSelectInstallFolder, {}, directory) && !directory.empty()) {
        window_.SetInstallDirText(directory);
    }
}

void TInstaller::Btn_DirClick(TSender) {
    std::u16string directory;
    if (dialogs::BrowseForFolder(texts::SSelectFolder, window_.PackageFolderText(), directory)) {
        window_.SetPackageFolderText(directory);
    }
}
