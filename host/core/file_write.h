// file_write.h - writing a whole file so that it is never left half written.
//
// Every file the host writes (rendered images, saved scenes, files saved from the browser
// page) goes through WriteFileAtomically: the bytes go to a new temporary file in the
// target's folder, which is flushed to the disk, closed, checked and only then renamed
// over the target. A full disk, a file-size limit, a read-only or missing folder or a
// failed rename leave the previous file as it was and remove the temporary file.
#pragma once

#include <string>
#include <string_view>

namespace host {

/// Writes bytes as the whole content of path (replacing a file that is there). On failure
/// path is untouched, no temporary file is left, and *error (when given) reads
/// "<path>: cannot write <what>: <cause>", the cause being the system's error text.
/// A symbolic link at path is followed: the file it names is replaced, the link stays.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, const char* what,
                         std::string* error);

}  // namespace host
