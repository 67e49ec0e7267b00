// Image files through the host's bitmap code: decoding, icon cutting and scaling. The
// input is written to an in-memory file, since the host reads images by path.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "bitmap/bitmap.h"
#include "core/host.h"

namespace {

int ImageFile() {
  static const int fd = [] {
    int f = memfd_create("fuzz.png", 0);
    if (f < 0) std::abort();
    return f;
  }();
  return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = ImageFile();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) std::abort();
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  host::Image image;
  std::string message;
  int32_t result = host::DecodeImageFile(path, &image, &message);
  if (result != C4D_IMAGERESULT_OK) {
    if (message.empty()) __builtin_trap();  // a failure must say why
    return 0;
  }
  if (image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4) __builtin_trap();
  // Large pictures are decoded only: scaling them under the sanitizers would slow the run
  // without reaching new code.
  if (static_cast<int64_t>(image.width) * image.height > (1 << 20)) return 0;

  // Scale the way icons are drawn: shrink and grow, filtered and nearest.
  host::Image small = host::Image::Blank(16, 16);
  host::ScaleImage(image, &small, 256, true);
  host::Image large = host::Image::Blank(40, 24);
  host::ScaleImage(image, &large, 128, false);

  // Cut an icon region partly outside the picture (IDs are per process, so use a fresh one).
  static int32_t iconId = 1;
  static host::Host* session = new host::Host;
  host::RegisterIconFromFile(iconId++, path, -3, image.height / 2, 8, 8, 0);
  if (iconId % 1024 == 0) {  // keep the icon registry bounded: a new Host starts without icons
    delete session;
    session = new host::Host;
  }
  return 0;
}
