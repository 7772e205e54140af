#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/atomic_output_file.h"
#include "text/ini_file_reader.h"

// Whole-file operations of the stored-data code: existence, bounded reads and atomic
// replacement. Every settings, history and table file goes through these, so a reader
// never sees half a file and a crash mid-write never loses the previous contents.
namespace ds {

// The largest file the key=value reader accepts; larger files are treated as unreadable.
inline constexpr std::size_t kMaxTextFileBytes = 16u << 20;

// True when `path` names an existing regular file.
bool FileExists(const std::string& path);

// Reads the whole file into `content`. Fails (false, `message` set) when the file is
// missing, unreadable, not a regular file or larger than `maxBytes`.
bool ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string* content,
                   std::string* message);

// Reads a key=value file whole into a reader. A file that is missing, unreadable or
// larger than kMaxTextFileBytes gives an empty reader (loaded() false), so callers keep
// their defaults.
IniFileReader ReadKeyValueFile(const std::string& path);

// Writes `content` to a temporary file beside `path`, flushes it to disk (unless told it
// need not) and renames it over `path`. On failure nothing at `path` changes and `message`
// says why.
bool ReplaceFileAtomically(const std::string& path, std::string_view content, FileAccess access,
                           std::string* message,
                           FileDurability durability = FileDurability::kFlushed);
// (platform/atomic_output_file.h has the form with every option, user paths among them.)

// True when no one but root can change what `path` (absolute) holds: the file and every
// folder above it are owned by root, no symbolic link among them, and neither group nor
// others may write the file or a folder. A folder that others may write but that has the
// sticky bit (as /tmp) still passes, because in it only an entry's owner (root here: every
// entry below must be root's) may rename or remove the entry. False with `why` otherwise.
bool OnlyRootCanChange(const std::string& path, std::string* why);

// The folder of the running executable, with a trailing "/".
std::string ExeDirectory();

}  // namespace ds
