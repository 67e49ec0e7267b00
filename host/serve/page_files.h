// page_files.h - the page's files (host/serve/page/), compiled into the program so that it
// serves the page wherever it runs.
#pragma once

#include <cstddef>
#include <string_view>

namespace host {

struct PageFile {
  std::string_view name;  ///< file name, e.g. "app.js"
  const unsigned char* data;
  size_t size;
};

/// The page file called name; null when there is none.
const PageFile* FindPageFile(std::string_view name);

}  // namespace host
