#pragma once
// Replacing a file's contents whole or not at all, for every writer of the program's own files
// (INI store, XML document, registry file).

#include <string>
#include <string_view>

namespace ostero::platform {

// Writes `bytes` to a new file beside `path`, flushes it to disk and renames it over `path`.
// A replaced file keeps its mode; a new file gets `newFileMode` exactly, or the usual mode under
// the umask when it is negative. A symbolic link is followed to the file it names and stays a
// link, except a link in a sticky, world-writable folder (/tmp) that belongs neither to the
// effective user nor to the folder's owner: that one is refused, as the kernel refuses to follow
// it, because another user may have planted it to make us overwrite a file of their choosing.
// Anything but a regular file is refused. On failure the old file is untouched, no temporary
// file remains, and `error` says why ("Cannot write <path>: <reason>").
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error,
                         int newFileMode = -1);

// The same, for a writer that produces a file in pieces: Begin, any number of Write, Commit.
// Until Commit succeeds the old file is untouched; without Commit (or after a failure) the new
// file is removed when the object goes.
class TFileReplacement {
public:
    TFileReplacement() = default;
    ~TFileReplacement();
    TFileReplacement(const TFileReplacement&) = delete;
    TFileReplacement& operator=(const TFileReplacement&) = delete;

    bool Begin(const std::string& path, std::string& error, int newFileMode = -1);
    bool Write(std::string_view bytes);
    bool Commit(std::string& error);

private:
    std::string Path_;      // the file being replaced (a link resolved)
    std::string Temporary_; // the new file beside it
    std::string Failure_;   // the first write error
    int Fd_ = -1;
    int NewFileMode_ = -1;
    bool Replacing_ = false;
    unsigned PreviousMode_ = 0;
};

} // namespace ostero::platform
