// file_read.cpp - reading a whole file into memory.
#include "core/file_read.h"

#include <fstream>
#include <iterator>

namespace host {

FileRead ReadWholeFile(const std::filesystem::path& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return FileRead::CannotOpen;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? FileRead::CannotRead : FileRead::Ok;
}

}  // namespace host
