// image.h - float RGB images and their files (OpenEXR and PNG).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "render/ray.h"

namespace host {

/// A float RGB image, row-major from the top-left pixel.
class RenderImage {
 public:
  RenderImage() = default;
  RenderImage(int w, int h) : width(w), height(h), pixels(size_t(w) * size_t(h)) {}

  int Width() const { return width; }
  int Height() const { return height; }
  Vec3 Get(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
  void Set(int x, int y, Vec3 c) { pixels[size_t(y) * size_t(width) + size_t(x)] = c; }
  const std::vector<Vec3>& Pixels() const { return pixels; }
  friend bool operator==(const RenderImage& a, const RenderImage& b) {
    return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
  }

 private:
  int width = 0, height = 0;
  std::vector<Vec3> pixels;
};

/// Writes the size, each channel's range and the first pixels; GoogleTest prints images
/// with it.
void PrintTo(const RenderImage& image, std::ostream* os);

/// The 8-bit value of one channel: round(clamp(v, 0, 1) * 255), no transfer curve.
unsigned char ToByte(double v);

/// Whether this build writes OpenEXR (the Windows build writes PNG only).
#if defined(CORVANE_NO_EXR)
inline constexpr bool kWritesExr = false;
#else
inline constexpr bool kWritesExr = true;
#endif

/// Image files are written whole or not at all (WriteFileAtomically): on failure a previous
/// file at path is left as it was and *error names the file and the cause.

/// Writes OpenEXR with float R, G, B channels, values as they are (unclamped). Fails with
/// a message in a build without OpenEXR.
bool WriteExr(const RenderImage& image, const std::string& path, std::string* error);

/// Writes an 8-bit RGB PNG, each channel through ToByte.
bool WritePng(const RenderImage& image, const std::string& path, std::string* error);

/// The PNG file bytes of an 8-bit picture with `channels` bytes per pixel (3: RGB, 4: RGBA),
/// rows from the top; empty when it cannot be encoded.
std::string EncodePng(int width, int height, int channels, const unsigned char* pixels);
/// The bytes WritePng would write for image.
std::string EncodePng(const RenderImage& image);

/// Writes by the file's suffix: ".exr" or ".png" (case-insensitive). Fails for other suffixes.
bool WriteImage(const RenderImage& image, const std::string& path, std::string* error);

/// True when the path ends in a suffix that this build's WriteImage writes.
bool IsSupportedImagePath(const std::string& path);

/// Bytes a render of width x height pixels written to path needs at its peak: the float
/// image (24 bytes a pixel) and the file encoded in memory before it is written (a PNG
/// about 20 bytes a pixel, an OpenEXR file about 40).
uint64_t RenderMemoryNeeded(int width, int height, const std::string& path);

/// Memory this process can hope to use: the machine's physical memory, or less where an
/// address-space or data-size limit is set.
uint64_t UsableMemory();

}  // namespace host
