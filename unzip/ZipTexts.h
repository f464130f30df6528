// The extraction component's own texts, numbered as its string table is, so
// that every message the component raises or shows can be compared at a glance.
#pragma once

namespace unzip::texts {

inline constexpr const char* kIncompleteZip = "Incomplete Zip File";
inline constexpr const char* kNotAZipFile = "Not a valid zip file!";
inline constexpr const char* kUserAborted = "User Aborted Operation";
inline constexpr const char* kCanceledNewDisk = "User canceled loading new disk.";
inline constexpr const char* kCanceledZipName = "User canceled setting zip file name.";
inline constexpr const char* kCanceledDestDir = "User canceled Set Desination Directory";
inline constexpr const char* kPrematureEnd = "Premature end of file reached";
inline constexpr const char* kCantWriteUCF = "Cant write uncompressed file";
inline constexpr const char* kZlibError = "error";
inline constexpr const char* kBiggerThanUncompressed = "File is larger than uncompressed size!";
inline constexpr const char* kCanceledBufferUnzip = "User canceled Buffered Memory UnZip";

// Message ids and texts handed to HandleMessage.
inline constexpr int kMsgReplaceFile = 196;
inline constexpr const char* kReplaceExisting = "Replace existing file ";
inline constexpr const char* kFileExistsAlert = "File Exists Alert";
inline constexpr int kMsgUnknownMethod = 197;
inline constexpr const char* kUnknownMethod = "Unknown Compression Method";
inline constexpr const char* kZipError = "Zip Error";
inline constexpr const char* kInsertDisk1 = "Please insert disk ";
inline constexpr const char* kInsertDisk2 = " of the multi-disk set.";

// List errors.
inline constexpr const char* kListIndexOutOfBounds = "List index out of bounds (%d)";
inline constexpr const char* kSortedPut = "Cannot <Put> an Object in a sorted list!";
inline constexpr const char* kDuplicateObject = "Duplicate Object index";
inline constexpr const char* kIndexOutOfRange = "Index %d is out of range";

// Buffered stream.
inline constexpr const char* kInvalidSeekOrigin = "Invalid seek origin (%d)";
inline constexpr const char* kSeekError = "\nSeek error";
inline constexpr const char* kPutbackOverflow = "Putback overflow";

// Open-file dialog of a name ending in "?" (no dialog in this library).
inline constexpr const char* kOpenZipTitle = "Open a Zip File";

}  // namespace unzip::texts
