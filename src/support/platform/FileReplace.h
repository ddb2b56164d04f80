#pragma once
// Replacing a file's contents whole or not at all, for every writer of the program's own files
// (INI store, XML document, registry file).

#include <string>
#include <string_view>

namespace ostero::platform {

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over `path`.
// A replaced file keeps its mode; a new file gets `newFileMode` exactly, or the usual mode under
// the umask when it is negative. A symbolic link is followed to the file it names; anything but
// a regular file is refused. On failure the old file is untouched, no temporary file remains,
// and `error` says why ("Cannot write <path>: <reason>").
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error,
                         int newFileMode = -1);

} // namespace ostero::platform
