// bitmap.cpp - bitmaps, decoding, scaling, icons and the bitmap suite.
#include "bitmap/bitmap.h"

#include "core/console.h"
#include "core/handles.h"
#include "core/memory.h"
#include "core/plugins.h"
#include "core/services.h"
#include "core/suites.h"
#include "core/text.h"

#include "bitmap/stb_config.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <ostream>

/// The object behind a C4DBitmap handle.
struct C4DBitmap {
  host::Image image;
};

namespace host {

namespace {

struct IconEntry {
  IconInfo info;
  std::unique_ptr<C4DBitmap> bitmap;
};

struct IconRegistry {
  std::mutex mutex;
  std::map<int32_t, IconEntry> icons;
};

// This folder's part of HostServices. Its icons leave the services' bitmap table when it
// goes (the table outlives the parts).
struct BitmapState {
  std::atomic<int64_t> liveBitmaps{0};
  std::atomic<int> failBitmapAllocs{0};
  IconRegistry icons;
  ~BitmapState() {
    for (const auto& [id, entry] : icons.icons) Bitmaps().Remove(entry.bitmap.get());
  }
};

BitmapState& State() { return Services().Part<BitmapState>(); }
IconRegistry& Icons() { return State().icons; }

std::filesystem::path PathFromUtf8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

}  // namespace

// Images

Image Image::Blank(int32_t width, int32_t height) {
  Image img;
  img.width = std::max(width, 0);
  img.height = std::max(height, 0);
  img.rgba.assign(static_cast<size_t>(img.width) * img.height * 4, 0);
  return img;
}

void PrintTo(const Image& image, std::ostream* os) {
  *os << image.width << " x " << image.height << " RGBA picture";
  const size_t shown = std::min<size_t>(image.rgba.size() / 4, 4);
  if (shown > 0) *os << ", first pixels";
  for (size_t i = 0; i < shown; ++i) {
    const uint8_t* p = &image.rgba[i * 4];
    *os << " (" << int(p[0]) << ", " << int(p[1]) << ", " << int(p[2]) << ", " << int(p[3]) << ")";
  }
  if (shown < image.rgba.size() / 4) *os << " ...";
}

int32_t DecodeImageFile(const std::string& path, Image* out, std::string* message) {
  auto fail = [&](int32_t code, const std::string& why) {
    if (message) *message = path + ": " + why;
    return code;
  };
  std::error_code ec;
  std::filesystem::path p = PathFromUtf8(path);
  if (path.empty() || !std::filesystem::is_regular_file(p, ec))
    return fail(C4D_IMAGERESULT_NOTEXISTING, "no such file");
  std::ifstream in(p, std::ios::binary);
  if (!in) return fail(C4D_IMAGERESULT_NOTEXISTING, "cannot open file");
  std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.empty()) return fail(C4D_IMAGERESULT_WRONGTYPE, "empty file");
  if (bytes.size() > static_cast<size_t>(INT32_MAX))
    return fail(C4D_IMAGERESULT_OUTOFMEMORY, "file too large");

  int w = 0, h = 0, channels = 0;
  constexpr int64_t kMaxPixels = int64_t{1} << 26;  // 8192 x 8192: 256 MB as RGBA
  if (stbi_info_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels) &&
      static_cast<int64_t>(w) * h > kMaxPixels)
    return fail(C4D_IMAGERESULT_OUTOFMEMORY,
                "image too large: " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &w, &h, &channels, 4);
  if (!pixels) {
    const char* reason = stbi_failure_reason();
    std::string why = reason ? reason : "unknown error";
    if (why.find("memory") != std::string::npos)
      return fail(C4D_IMAGERESULT_OUTOFMEMORY, "out of memory: " + why);
    return fail(C4D_IMAGERESULT_WRONGTYPE, "cannot decode image: " + why);
  }
  Image img;
  img.width = w;
  img.height = h;
  try {
    img.rgba.assign(pixels, pixels + static_cast<size_t>(w) * h * 4);
  } catch (const std::bad_alloc&) {
    stbi_image_free(pixels);
    return fail(C4D_IMAGERESULT_OUTOFMEMORY, "out of memory");
  }
  stbi_image_free(pixels);
  *out = std::move(img);
  return C4D_IMAGERESULT_OK;
}

void ScaleImage(const Image& src, Image* dst, int32_t intensity, bool sample) {
  if (!dst || src.Empty() || dst->Empty()) return;
  if (src.width == dst->width && src.height == dst->height) {
    dst->rgba = src.rgba;
  } else if (!sample) {
    // Nearest pixel: the source pixel whose area holds the destination pixel's centre
    for (int32_t y = 0; y < dst->height; ++y) {
      int32_t sy = static_cast<int32_t>((static_cast<int64_t>(2 * y + 1) * src.height) / (2 * dst->height));
      for (int32_t x = 0; x < dst->width; ++x) {
        int32_t sx = static_cast<int32_t>((static_cast<int64_t>(2 * x + 1) * src.width) / (2 * dst->width));
        std::copy_n(src.Pixel(sx, sy), 4, dst->Pixel(x, y));
      }
    }
  } else {
    stbir_filter fx = dst->width < src.width ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
    stbir_filter fy = dst->height < src.height ? STBIR_FILTER_BOX : STBIR_FILTER_TRIANGLE;
    stbir_resize(src.rgba.data(), src.width, src.height, 0, dst->rgba.data(), dst->width, dst->height, 0,
                 STBIR_TYPE_UINT8, 4, 3 /* alpha channel */, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, fx, fy,
                 STBIR_COLORSPACE_LINEAR, nullptr);
  }
  int32_t k = std::clamp(intensity, 0, 256);
  if (k == 256) return;
  for (size_t i = 0; i < dst->rgba.size(); i += 4) {
    for (size_t c = 0; c < 3; ++c)
      dst->rgba[i + c] = static_cast<uint8_t>((dst->rgba[i + c] * k + 128) / 256);
  }
}

const Image& BitmapImage(const C4DBitmap* bmp) {
  static const Image empty;
  return bmp ? bmp->image : empty;
}

Image* MutableBitmapImage(C4DBitmap* bmp) { return bmp ? &bmp->image : nullptr; }

int64_t LiveBitmapCount() { return State().liveBitmaps.load(); }

void FailNextBitmapAlloc(int n) { State().failBitmapAllocs.store(std::max(n, 0)); }

// Icons

bool RegisterIconFromFile(int32_t id, const std::string& file, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t flags, const ModuleState* owner) {
  if (w <= 0 || h <= 0 || w > 65536 || h > 65536) return false;
  Image source;
  if (DecodeImageFile(file, &source) != C4D_IMAGERESULT_OK) return false;

  // Cut the region, clamped to the image; outside stays transparent black
  auto bitmap = std::make_unique<C4DBitmap>();
  bitmap->image = Image::Blank(w, h);
  int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + w, source.width);
  int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + h, source.height);
  for (int64_t sy = y0; sy < y1; ++sy) {
    for (int64_t sx = x0; sx < x1; ++sx) {
      std::copy_n(source.Pixel(static_cast<int32_t>(sx), static_cast<int32_t>(sy)), 4,
                  bitmap->image.Pixel(static_cast<int32_t>(sx - x), static_cast<int32_t>(sy - y)));
    }
  }

  IconRegistry& reg = Icons();
  std::unique_lock<std::mutex> lock(reg.mutex);
  if (auto it = reg.icons.find(id); it != reg.icons.end()) {
    const ModuleState* held = it->second.info.owner;
    lock.unlock();
    if (held != owner) {
      auto name = [](const ModuleState* m) { return m ? "module " + m->file : std::string("the host"); };
      Console().Print("Refused icon " + std::to_string(id) + ": registered already by " + name(held) +
                      "; refused for " + name(owner));
    }
    return false;
  }
  IconEntry entry;
  entry.info = IconInfo{id, file, x, y, w, h, flags, bitmap.get(), owner};
  Bitmaps().Add(bitmap.get(), /*lent=*/true);
  entry.bitmap = std::move(bitmap);
  reg.icons.emplace(id, std::move(entry));
  return true;
}

void ForgetIcons(const ModuleState* owner) {
  if (!owner) return;
  IconRegistry& reg = Icons();
  std::lock_guard<std::mutex> lock(reg.mutex);
  std::erase_if(reg.icons, [owner](const auto& entry) {
    if (entry.second.info.owner != owner) return false;
    Bitmaps().Remove(entry.second.bitmap.get());
    return true;
  });
}

bool FindIcon(int32_t id, IconInfo* out) {
  IconRegistry& reg = Icons();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto it = reg.icons.find(id);
  if (it == reg.icons.end()) return false;
  *out = it->second.info;
  return true;
}

std::vector<IconInfo> ListIcons() {
  IconRegistry& reg = Icons();
  std::lock_guard<std::mutex> lock(reg.mutex);
  std::vector<IconInfo> list;
  for (const auto& [id, entry] : reg.icons) list.push_back(entry.info);
  return list;
}

bool IconPixels(int32_t id, Image* out) {
  IconRegistry& reg = Icons();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto it = reg.icons.find(id);
  if (it == reg.icons.end()) return false;
  *out = it->second.bitmap->image;
  return true;
}

// The bitmap suite

namespace {

C4DBitmap* SuiteBitmapAlloc() {
  if (TakeModuleAllocationFault("bitmap")) return nullptr;
  BitmapState& state = State();
  int pending = state.failBitmapAllocs.load();
  while (pending > 0) {
    if (state.failBitmapAllocs.compare_exchange_weak(pending, pending - 1)) return nullptr;
  }
  C4DBitmap* bmp = new (std::nothrow) C4DBitmap;
  if (bmp) {
    ++state.liveBitmaps;
    Bitmaps().Add(bmp);
  }
  return bmp;
}

// Only the caller's own bitmaps are freed: an icon's (lent) or an unknown one is refused.
void SuiteBitmapFree(C4DBitmap* bmp) {
  if (!bmp || !Bitmaps().TakeForRelease(bmp, "BitmapFree")) return;
  delete bmp;
  --State().liveBitmaps;
}

int32_t SuiteBitmapInit(C4DBitmap* bmp, const C4DFilename* file, int32_t /*frame*/, bool* isMovie) {
  if (isMovie) *isMovie = false;
  if (!bmp || !Bitmaps().Check(bmp, "BitmapInit")) return C4D_IMAGERESULT_WRONGTYPE;
  if (!file || !CheckFilename(file, "BitmapInit")) return C4D_IMAGERESULT_NOTEXISTING;
  try {
    Image img;
    int32_t result = DecodeImageFile(std::string(FilenamePath(file)), &img);
    if (result == C4D_IMAGERESULT_OK) bmp->image = std::move(img);
    return result;
  } catch (const std::bad_alloc&) {
    return C4D_IMAGERESULT_OUTOFMEMORY;
  } catch (...) {
    return C4D_IMAGERESULT_WRONGTYPE;
  }
}

void SuiteBitmapScaleIt(const C4DBitmap* src, C4DBitmap* dst, int32_t intensity, bool sample,
                        bool /*nonProportional*/) {
  // The whole source always covers the whole destination: dst's size is given, so the
  // proportional flag has nothing left to choose.
  if (!src || !dst || src == dst || !Bitmaps().Check(src, "BitmapScaleIt") || !Bitmaps().Check(dst, "BitmapScaleIt"))
    return;
  try {
    ScaleImage(src->image, &dst->image, intensity, sample);
  } catch (...) {
  }
}

int32_t SuiteBitmapGetWidth(const C4DBitmap* bmp) {
  return bmp && Bitmaps().Check(bmp, "BitmapGetWidth") ? bmp->image.width : 0;
}
int32_t SuiteBitmapGetHeight(const C4DBitmap* bmp) {
  return bmp && Bitmaps().Check(bmp, "BitmapGetHeight") ? bmp->image.height : 0;
}

bool SuiteRegisterIcon(int32_t id, const C4DFilename* file, int32_t x, int32_t y, int32_t w, int32_t h,
                       int32_t flags) {
  if (!file || !CheckFilename(file, "RegisterIcon")) return false;
  try {
    return RegisterIconFromFile(id, std::string(FilenamePath(file)), x, y, w, h, flags, CallingModule());
  } catch (...) {
    return false;
  }
}

bool SuiteGetIcon(int32_t id, C4DIconData* out) {
  if (!out) return false;
  IconInfo info;
  if (!FindIcon(id, &info)) return false;
  *out = C4DIconData{};
  out->bmp = const_cast<C4DBitmap*>(info.bitmap);
  out->x = 0;
  out->y = 0;
  out->w = info.w;
  out->h = info.h;
  out->flags = info.flags;
  return true;
}

}  // namespace

const C4DBitmapSuite1* BitmapSuite1() {
  static const C4DBitmapSuite1 suite = {
      SuiteBitmapAlloc,    SuiteBitmapFree,      SuiteBitmapInit,   SuiteBitmapScaleIt,
      SuiteBitmapGetWidth, SuiteBitmapGetHeight, SuiteRegisterIcon, SuiteGetIcon,
  };
  return &suite;
}

}  // namespace host
