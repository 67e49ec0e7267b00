// file_write.h - writing a whole file so that it is never left half written.
//
// Every file the host writes (rendered images, saved scenes, files saved from the browser
// page) goes through WriteFileAtomically: the bytes go to a new temporary file in the
// target's folder, which is flushed to the disk, closed, checked and only then renamed
// over the target. A full disk, a file-size limit, a read-only or missing folder or a
// failed rename leave the previous file as it was and remove the temporary file.
// The temporary file is named ".<name>.tmp-<pid>-<n>". A writer killed before its rename
// leaves its temporary file behind: the next write into the same folder removes those
// of this user whose writer's process no longer exists (not done on Windows).
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

/// The writer's pid when name (a file name without folder) is a temporary file of
/// WriteFileAtomically, ".<name>.tmp-<pid>-<n>" exactly; 0 for any other name.
long TemporaryFileWriter(const std::string& name);

}  // namespace host
