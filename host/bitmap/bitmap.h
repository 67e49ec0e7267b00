// bitmap.h - the host's 8-bit RGBA bitmaps, PNG decoding, scaling and the icon registry.
//
// Pixels are stored row by row from the top, four bytes per pixel (R, G, B, A), without
// padding. The bitmap suite handed to modules (BitmapSuite1) is built on these functions.
// The live-bitmap count, the fault injection and the icon registry are a part of the current
// HostServices (core/services.h), so they go with the Host that owns it.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "c4d_host_abi.h"
#include "core/fault_boundary.h"

namespace host {

/// An RGBA8 picture.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  ///< width * height * 4 bytes

  /// A picture of the given size, every byte zero.
  static Image Blank(int32_t width, int32_t height);
  bool Empty() const { return width <= 0 || height <= 0; }
  /// The four bytes of pixel (x, y); the caller keeps x, y in range.
  const uint8_t* Pixel(int32_t x, int32_t y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  uint8_t* Pixel(int32_t x, int32_t y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

/// Writes the size and the first pixels' bytes; GoogleTest prints pictures with it.
void PrintTo(const Image& image, std::ostream* os);

/// Decodes an image file (PNG; whatever stb_image reads). Returns a C4D_IMAGERESULT_*
/// code: NOTEXISTING when the file cannot be opened, WRONGTYPE when it is not a picture
/// that can be decoded (truncated or corrupt files included), OUTOFMEMORY when the picture
/// is too large. *message says why when the result is not OK.
int32_t DecodeImageFile(const std::string& path, Image* out, std::string* message = nullptr);

/// Scales src onto the whole of dst (dst keeps its size). sample true filters (box
/// averaging where a direction shrinks, bilinear where it grows); false picks the nearest
/// pixel. intensity scales the colour channels (256: unchanged; clamped to 0..256); alpha
/// is kept. Nothing happens when either picture is empty.
void ScaleImage(const Image& src, Image* dst, int32_t intensity, bool sample);

/// The picture of a bitmap handle (an empty one for null).
const Image& BitmapImage(const C4DBitmap* bmp);
Image* MutableBitmapImage(C4DBitmap* bmp);

/// Bitmaps allocated through the bitmap suite and not freed yet.
int64_t LiveBitmapCount();

/// Makes the next n BitmapAlloc calls of the suite answer null (0 cancels).
void FailNextBitmapAlloc(int n = 1);

/// One registered icon as the host keeps it.
struct IconInfo {
  int32_t id = 0;
  std::string file;
  int32_t x = 0, y = 0, w = 0, h = 0;  ///< the region cut from the file
  int32_t flags = 0;
  const C4DBitmap* bitmap = nullptr;  ///< the icon's own w x h bitmap (borrowed)
  const ModuleState* owner = nullptr;  ///< the module that registered it; null: the host
};

/// Registers the region (x, y, w, h) of the image file as icon id for owner (null: the
/// host): the icon's bitmap has size w x h; parts of the region outside the image stay
/// transparent black. False when w or h is not positive, the file cannot be read, or id is
/// already registered; an ID of another module's is also reported on the console, naming
/// both modules. The icon's bitmap is lent to modules (GetIcon): they cannot free it.
bool RegisterIconFromFile(int32_t id, const std::string& file, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t flags, const ModuleState* owner = nullptr);

/// Forgets the icons owner registered (the module is unloaded).
void ForgetIcons(const ModuleState* owner);

/// The icon registered under id; false when there is none.
bool FindIcon(int32_t id, IconInfo* out);

/// Every registered icon, by ascending ID.
std::vector<IconInfo> ListIcons();

/// A copy of the icon's current pixels (modules may draw into the icon bitmap).
bool IconPixels(int32_t id, Image* out);

/// The bitmap suite (collected by interface/host_interface.h).
const C4DBitmapSuite1* BitmapSuite1();

}  // namespace host
