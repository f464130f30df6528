// The downloaders' own texts, exactly as the program shows or logs them, and
// the one helper that fills their placeholders.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace download::texts {

// Shown when an existing local file cannot be read for resuming; %S is the
// local file name.
inline constexpr char16_t kOpenFileFailed[] = u"Open file \"%S\" failed!";

// A ranged GET that succeeded without a single byte; %s is the range asked
// for.
inline constexpr char16_t kNoDataReceived[] = u"No data received for the range %s";

// The size request ended on a redirect the client no longer follows; %s is
// that reply's status line.
inline constexpr char16_t kRedirectLimit[] = u"Too many redirects; the last reply was \"%s\"";

// A file that 32-bit positions cannot hold; %s is its size in bytes.
inline constexpr char16_t kSizeBeyond2GiB[] = u"File size %s is beyond 2 GiB";

// Replies that cannot be a part of the file. The first %s is the range asked
// for ("0-" when the whole file was asked for), the second what the reply
// said.
inline constexpr char16_t kUnexpectedReply[] = u"Reply to the range %s is \"%s\"";
inline constexpr char16_t kWrongContentRange[] = u"Reply to the range %s names the range \"%s\"";
// The first %s is the reply's length, the second the file's.
inline constexpr char16_t kWrongLength[] = u"Reply of %s bytes for a file of %s bytes";
// %s is the range asked for.
inline constexpr char16_t kMoreThanAsked[] = u"More data than asked for with the range %s";

// Logged before a failed exchange of the threaded downloader is asked again;
// the first %s is the pause in seconds, the second the failure's message.
inline constexpr char16_t kRetrying[] = u"下载中断，%s 秒后重试：%s";

// The synchronous downloader's log lines.
inline constexpr char16_t kDownLoadStarted[] = u"正在下载最新的发布程序，请稍后 . . .";
inline constexpr char16_t kDownLoadFinished[] = u"最新发布程序下载已完成。";
// The first %s is the address, the second the failure's message.
inline constexpr char16_t kDownLoadFileError[] = u"下载文件错误：Url=\"%s\";Err=\"%s\"";
// The URL download service's library or its function is missing; %s is
// the library's name.
inline constexpr char16_t kUnableToLoad[] = u"Unable to load %s";
// The synchronous fetch's failure; %s is the address.
inline constexpr char16_t kErrorDownloadingURL[] = u"Error downloading URL: %s";

}  // namespace download::texts

namespace download {

// Fills the placeholders of a message ("%s" or "%S") in order with the
// values; a value's own text is never searched for placeholders.
inline std::u16string FillPlaceholders(std::u16string_view pattern,
                                       std::initializer_list<std::u16string_view> values) {
    std::u16string result(pattern);
    size_t from = 0;
    for (std::u16string_view value : values) {
        size_t at = from;
        while (at + 1 < result.size() && !(result[at] == u'%' && (result[at + 1] == u's' || result[at + 1] == u'S')))
            ++at;
        if (at + 1 >= result.size()) break;
        result.replace(at, 2, value);
        from = at + value.size();
    }
    return result;
}

}  // namespace download
