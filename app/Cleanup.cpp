#include "app/Cleanup.h"

#include "app/Dialogs.h"
#include "app/Installer.h"
#include "app/Texts.h"
#include "platform/casefold.h"
#include "platform/process.h"
#include "platform/shell.h"
#include "platform/pathdelim.h"

std::u16string ExtractFilePath(const std::u16string& Path) {
    size_t cut = Path.rfind(platform::PathDelim);
    return cut == std::u16string::npos ? std::u16string() : Path.substr(0, cut + 1);
}

std::u16string ExtractFileName(const std::u16string& Path) {
    size_t cut = Path.rfind(platform::PathDelim);
    return cut == std::u16string::npos ? Path : Path.substr(cut + 1);
}

std::u16string TInstaller::GetUpdateDir() {
    if (FAppName.empty()) return {};
    std::u16string path = ExtractFilePath(FAppName) + texts::SUpdateFolder;
    if (!platform::DirectoryExists(path)) {
        // A relative path is taken from the current folder; one whose first
        // folder does not exist there cannot be made into a folder chain.
        size_t first = path.find(platform::PathDelim);
        if (path[0] != platform::PathDelim && (first == std::u16string::npos || first == 0 ||
                                !platform::DirectoryExists(path.substr(0, first)))) {
            dialogs::ShowMessageBox(texts::SInvalidPath);
            return path;
        }
        platform::ForceDirectories(path);
    }
    return path;
}

bool DeleteDir(const std::u16string& Path) {
    if (Path.empty()) return false;
    // Nothing there (say, a work folder that could not be made): nothing to
    // delete and nothing to report.
    if (!platform::PathExists(Path)) return true;
    std::u16string error;
    if (platform::DeleteTree(Path, &error)) return true;
    dialogs::ShowMessageBox(error);
    return false;
}

void EndProcesses(const std::u16string& FileName) { platform::EndProcessesNamed(FileName); }

namespace {

// File names compare without case (simple Unicode case folding).
bool SameName(const std::u16string& a, const std::u16string& b) {
    return platform::FoldCase(a) == platform::FoldCase(b);
}

void SearchFolder(const std::u16string& Name, const std::u16string& Folder, bool FilesOnly, bool WithSubFolders,
                  std::vector<std::u16string>& Hits) {
    std::vector<platform::TFolderEntry> entries;
    if (!platform::ListFolder(Folder, entries)) return;
    for (const auto& entry : entries) {
        std::u16string path = Folder + platform::PathDelimText() + entry.Name;
        if (entry.Attr == platform::faDirectory) {
            if (!FilesOnly && SameName(entry.Name, Name)) Hits.push_back(path);
            if (WithSubFolders) SearchFolder(Name, path, FilesOnly, WithSubFolders, Hits);
        } else if (SameName(entry.Name, Name)) {
            Hits.push_back(path);
        }
    }
}

}  // namespace

std::vector<std::u16string> SearchFile(const std::u16string& Name, const std::u16string& Folder, bool FilesOnly,
                                       bool WithSubFolders) {
    std::vector<std::u16string> hits;
    SearchFolder(Name, Folder, FilesOnly, WithSubFolders, hits);
    return hits;
}

void TInstaller::Btn_CloseClick(TSender) {
    DeleteDir(GetUpdateDir());
    window_.EndMessageLoop(0);
}
