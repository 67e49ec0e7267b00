// file_read.h - reading a whole file into memory, the one way the host does it.
#pragma once

#include <filesystem>
#include <string>

namespace host {

enum class FileRead { Ok, CannotOpen, CannotRead };

/// Reads the whole file at path into *bytes. On CannotOpen errno is what opening set; on
/// CannotRead the stream failed part way. *bytes is unspecified on failure.
FileRead ReadWholeFile(const std::filesystem::path& path, std::string* bytes);

}  // namespace host
