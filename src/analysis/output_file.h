// Writing a whole file (a case, a PDF report) so that a failure or a kill
// leaves the old file as it was: a temporary beside the target, renamed
// over it. Only a regular file or a new path is written: a device, a FIFO
// or a socket is refused rather than replaced by a regular file, a symbolic
// link is written through (the link stays), and a read-only file is
// refused. No Qt.
#pragma once

#include <string>
#include <string_view>

namespace quorrel {

// Where a write to `path` goes: the path itself or, for a symbolic link,
// the file it leads to.
struct OutputTarget {
    std::string path;
    std::string error;  // why it may not be written; empty when it may
};
[[nodiscard]] OutputTarget output_target(const std::string& path);

// Writes `content` as the whole file at `path`, keeping an old file's
// permission bits (a new file gets rw-r--r--). Temporaries left by a killed
// run of this program beside the target are removed first. Returns an empty
// string on success, otherwise "cannot write PATH: reason"; nothing is then
// left behind and the old file is intact.
[[nodiscard]] std::string replace_file(const std::string& path, std::string_view content);
// The same, returning the reason alone.
[[nodiscard]] std::string replace_file_reason(const std::string& path, std::string_view content);

// The name a temporary of `target` starts with, for the given process.
std::string temporary_prefix(const std::string& target, long pid);

// The text of errno's system error, for a one-line reason.
std::string system_reason();

}  // namespace quorrel
