// The window's exact texts, in one place. Texts ending in ". . . " end with a
// blank on purpose.
#pragma once

namespace texts {

// The window and its title bar.
inline constexpr char16_t SWindowTitle[] = u"Zelvanoviz-自动更新服务";
inline constexpr char16_t SApplicationName[] = u"Zelvano在线 \u2014 安装程序V2.0";
inline constexpr char16_t SFontFace[] = u"微软雅黑";
inline constexpr char16_t SDefaultFontFace[] = u"Tahoma";
inline constexpr char16_t SSkinVersion[] = u"Zelvano Setup V2.0 controls 2.0.0";

// The install page.
inline constexpr char16_t SInstallPosition[] = u"安装位置：";
inline constexpr char16_t SDownHint[] = u"安装提示：";
inline constexpr char16_t SPercentZero[] = u"0%";
inline constexpr char16_t SHintMin[] = u"最小化";
inline constexpr char16_t SHintClose[] = u"关闭";
inline constexpr char16_t SHintInstall[] = u"安装";
inline constexpr char16_t SHintChange[] = u"更改";
// What screen readers call the folder box, the gauge and the hint line (the
// folder box and the hint line by the labels the window shows beside them).
inline constexpr char16_t SInstallFolderName[] = u"安装位置";
inline constexpr char16_t SInstallProgressName[] = u"安装进度";
inline constexpr char16_t SHintLineName[] = u"安装提示";

// The hint line in each state.
inline constexpr char16_t SHintReady[] = u"请选择好安装目录，点击『安装』按钮进行程序安装 . . . ";
inline constexpr char16_t SHintAskingServer[] = u"正在安装，请稍后 . . .";
inline constexpr char16_t SHintDownloading[] = u"正在下载最新的应用程序，请稍等 . . . ";
inline constexpr char16_t SHintInstalling[] = u"正在安装应用程序，请稍等 . . . ";
inline constexpr char16_t SHintInstallFailed[] = u"安装应用程序失败，请重新安装 . . . ";
inline constexpr char16_t SHintSignatureRefused[] = u"安装包签名校验失败，请重新安装 . . . ";
inline constexpr char16_t SHintStartingClient[] = u"正在启动应用程序，请稍等 . . . ";
inline constexpr char16_t SHintNetworkFailure[] = u"网络断开安装失败 ，请重新安装 . . .";
inline constexpr char16_t SHintNoInstallFolder[] = u"请先选择安装目录 . . . ";

// The extraction log.
inline constexpr char16_t SLogDeleted[] = u"删除成功：";
inline constexpr char16_t SLogExtracted[] = u"解压成功：";

// The folder dialogs.
inline constexpr char16_t SSelectInstallFolder[] = u"请选择应用软件的安装文件夹";
inline constexpr char16_t SSelectFolder[] = u"请选择文件夹";

// The download page.
inline constexpr char16_t SDownloadHeading[] = u"Vantrell 客户端安装";
inline constexpr char16_t SCreateDesktopShortcut[] = u"创建桌面快捷方式";
inline constexpr char16_t SRunAfterInstall[] = u"安装后运行";
inline constexpr char16_t SFolderCaption[] = u"安装位置：";
inline constexpr char16_t SFileNameDefault[] = u"C:";
inline constexpr char16_t SBrowse[] = u"浏览";
inline constexpr char16_t SPromptCaption[] = u"提示：";
inline constexpr char16_t SHint1Start[] = u"正在下载应用程序，请稍等 . . . ";
inline constexpr char16_t SDownLoadAndInstall[] = u"下载并安装";
inline constexpr char16_t SClose[] = u"关闭";
inline constexpr char16_t SHint1Downloading[] = u"正在下载最新的发布程序包，请稍后 . . .";
inline constexpr char16_t SHint1Downloaded[] = u"最新发布程序包下载已完成。";
inline constexpr char16_t SHint1Extracting[] = u"正在解压最新的发布程序，请稍后 . . .";
inline constexpr char16_t SHint1Extracted[] = u"最新发布程序解压已完成。";
inline constexpr char16_t SNoDownloadInfo[] = u"获取软件网络信息失败，请稍后重试！";
inline constexpr char16_t SExtractError[] = u"解压文件错误，无法完成解压操作，Err=\"%s\";";

// The installation flows: folders, files, the archive password, the
// uninstall entry and the desktop shortcut.
inline constexpr char16_t SClientFolder[] = u"Pordino2.0";
inline constexpr char16_t SClientExe[] = u"Corvexa.exe";
inline constexpr char16_t SUpdateFolder[] = u"Update";
inline constexpr char16_t SLocalArchive[] = u"Version.zip";
// Appended to the local archive's name: the record of the remote file a
// partial archive belongs to.
inline constexpr char16_t SResumeRecordExt[] = u".head";
inline constexpr char SArchivePassword[] = "qazkt";
inline constexpr char16_t SAllFiles[] = u"*.*";
inline constexpr char16_t SInvalidPath[] = u"无效的文件路径！";
inline constexpr char16_t SUninstallKey[] =
    u"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvano在线";
inline constexpr char16_t SUninstallDisplayName[] = u"Zelvano在线直播一对一";
inline constexpr char16_t SUninstallDisplayVersion[] = u"1.0.1";
// The value beside the uninstall entry that records the installed release
// (the version of its release statement).
inline constexpr char16_t SReleaseVersionValue[] = u"ReleaseVersion";
inline constexpr char16_t SUninstallPublisher[] = u"Zelvano教育集团";
inline constexpr char16_t SUninstallExe[] = u"Uninstall.exe";
inline constexpr char16_t SShortcutFile[] = u"Zelvano在线2.0.lnk";
inline constexpr char16_t SShortcutDescription[] = u"Zelvano在线教育";
inline constexpr char16_t SPackageFolder[] = u"Vantrell";
inline constexpr char16_t SPackageExe[] = u"ZiduzarerEdozuz.exe";
inline constexpr char16_t SPackageArchiveName[] = u"Version";
inline constexpr char16_t SPackageArchiveExt[] = u".zip";

}  // namespace texts
