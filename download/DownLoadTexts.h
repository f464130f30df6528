// The downloaders' own texts, exactly as the program shows or logs them.
#pragma once

namespace download::texts {

// Shown when an existing local file cannot be read for resuming; %S is the
// local file name.
inline constexpr char16_t kOpenFileFailed[] = u"Open file \"%S\" failed!";

// A ranged GET that succeeded without a single byte; %s is the range asked
// for.
inline constexpr char16_t kNoDataReceived[] = u"No data received for the range %s";

// A download that has grown past what 32-bit body positions can hold.
inline constexpr char16_t kPositionBeyond2GiB[] = u"Download position beyond 2 GiB";

// The synchronous downloader's log lines.
inline constexpr char16_t kDownLoadStarted[] = u"正在下载最新的发布程序，请稍后 . . .";
inline constexpr char16_t kDownLoadFinished[] = u"最新发布程序下载已完成。";
// The first %s is the address, the second the failure's message.
inline constexpr char16_t kDownLoadFileError[] = u"下载文件错误：Url=\"%s\";Err=\"%s\"";
// The synchronous fetch's failure; %s is the address.
inline constexpr char16_t kErrorDownloadingURL[] = u"Error downloading URL: %s";

}  // namespace download::texts
