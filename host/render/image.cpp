#include "render/image.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max below
#endif
#include <windows.h>
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#if !defined(CORVANE_NO_EXR)
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfStdIO.h>
#endif

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <exception>
#include <ostream>

#define STB_IMAGE_WRITE_STATIC
#if defined(_WIN32)
// File names are UTF-8, as everywhere in the host
#define STBIW_WINDOWS_UTF8
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#endif
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

#include "core/file_write.h"
#include "core/text.h"

namespace host {

unsigned char ToByte(double v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 1) return 255;
  return static_cast<unsigned char>(std::lround(v * 255.0));
}

void PrintTo(const RenderImage& image, std::ostream* os) {
  *os << image.Width() << " x " << image.Height() << " image";
  const std::vector<Vec3>& pixels = image.Pixels();
  if (pixels.empty()) return;
  Vec3 lo = pixels[0], hi = pixels[0];
  for (const Vec3& p : pixels) {
    lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
    hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
  }
  *os << ", channels from ";
  PrintTo(lo, os);
  *os << " to ";
  PrintTo(hi, os);
  *os << ", first pixels";
  const size_t shown = std::min<size_t>(pixels.size(), 4);
  for (size_t i = 0; i < shown; ++i) {
    *os << " ";
    PrintTo(pixels[i], os);
  }
  if (shown < pixels.size()) *os << " ...";
}

static bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool WriteExr(const RenderImage& image, const std::string& path, std::string* error) {
#if defined(CORVANE_NO_EXR)
  (void)image;
  if (error) *error = path + ": this build writes PNG only (OpenEXR has no Windows build here); use .png";
  return false;
#else
  int w = image.Width(), h = image.Height();
  // OpenEXR wants one plane per channel.
  std::vector<float> planes[3];
  for (auto& p : planes) p.resize(size_t(w) * size_t(h));
  for (size_t i = 0; i < image.Pixels().size(); ++i) {
    planes[0][i] = float(image.Pixels()[i].x);
    planes[1][i] = float(image.Pixels()[i].y);
    planes[2][i] = float(image.Pixels()[i].z);
  }
  try {
    Imf::Header header(w, h);
    const char* names[3] = {"R", "G", "B"};
    Imf::FrameBuffer fb;
    for (int c = 0; c < 3; ++c) {
      header.channels().insert(names[c], Imf::Channel(Imf::FLOAT));
      fb.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(planes[c].data()), sizeof(float),
                                     sizeof(float) * size_t(w)));
    }
    // Encoded in memory, then written whole: a failed write leaves any previous file.
    Imf::StdOSStream stream;
    {
      Imf::OutputFile file(stream, header);
      file.setFrameBuffer(fb);
      file.writePixels(h);
    }  // the file's destructor writes its offset table
    return WriteFileAtomically(path, stream.str(), "OpenEXR file", error);
  } catch (const std::exception& e) {
    if (error) *error = path + ": cannot write OpenEXR file: " + e.what();
    return false;
  }
#endif
}

/// The 8-bit RGB bytes of an image, each channel through ToByte.
static std::vector<unsigned char> RgbBytes(const RenderImage& image) {
  std::vector<unsigned char> bytes(image.Pixels().size() * 3);
  for (size_t i = 0; i < image.Pixels().size(); ++i) {
    bytes[3 * i + 0] = ToByte(image.Pixels()[i].x);
    bytes[3 * i + 1] = ToByte(image.Pixels()[i].y);
    bytes[3 * i + 2] = ToByte(image.Pixels()[i].z);
  }
  return bytes;
}

std::string EncodePng(int width, int height, int channels, const unsigned char* pixels) {
  std::string out;
  auto append = [](void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
  };
  if (width <= 0 || height <= 0 ||
      !stbi_write_png_to_func(append, &out, width, height, channels, pixels, width * channels))
    return {};
  return out;
}

std::string EncodePng(const RenderImage& image) {
  std::vector<unsigned char> bytes = RgbBytes(image);
  return EncodePng(image.Width(), image.Height(), 3, bytes.data());
}

bool WritePng(const RenderImage& image, const std::string& path, std::string* error) {
  // Encoded in memory, then written whole: a failed write leaves any previous file.
  const std::string png = EncodePng(image);
  if (png.empty()) {
    if (error) *error = path + ": cannot write PNG file: the image could not be encoded";
    return false;
  }
  return WriteFileAtomically(path, png, "PNG file", error);
}

bool IsSupportedImagePath(const std::string& path) {
  std::string l = Lower(path);
  return (kWritesExr && EndsWith(l, ".exr")) || EndsWith(l, ".png");
}

uint64_t RenderMemoryNeeded(int width, int height, const std::string& path) {
  const uint64_t pixels = uint64_t(std::max(width, 0)) * uint64_t(std::max(height, 0));
  const uint64_t file = EndsWith(Lower(path), ".exr") ? 40 : 20;
  return pixels * (sizeof(Vec3) + file);
}

uint64_t UsableMemory() {
#if defined(_WIN32)
  MEMORYSTATUSEX status;
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return UINT64_MAX;
  return std::min<uint64_t>(status.ullTotalPhys, status.ullTotalVirtual);
#else
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  uint64_t usable = pages > 0 && pageSize > 0 ? uint64_t(pages) * uint64_t(pageSize) : UINT64_MAX;
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    struct rlimit limit;
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
      usable = std::min<uint64_t>(usable, limit.rlim_cur);
  }
  return usable;
#endif
}

bool WriteImage(const RenderImage& image, const std::string& path, std::string* error) {
  std::string l = Lower(path);
  if (EndsWith(l, ".exr")) return WriteExr(image, path, error);
  if (EndsWith(l, ".png")) return WritePng(image, path, error);
  if (error) *error = path + ": unknown image type (use .exr or .png)";
  return false;
}

}  // namespace host
