// c4d_basebitmap.h - bitmaps and icons.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_enums.h"
#include "c4d_file.h"
#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseBitmap)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", IconData)

CINEMA_NAMESPACE_BEGIN

/// An 8-bit RGBA picture. Holds no data: a pointer to it is the host's handle.
class BaseBitmap {
 public:
  BaseBitmap() = delete;
  BaseBitmap(const BaseBitmap&) = delete;
  BaseBitmap& operator=(const BaseBitmap&) = delete;

  /// A new empty bitmap, or null when out of memory. Release with Free.
  static BaseBitmap* Alloc();
  /// Releases a bitmap made by Alloc and sets bmp to null.
  static void Free(BaseBitmap*& bmp);

  /// Loads the image file name (frame -1: the file's default).
  IMAGERESULT Init(const Filename& name, Int32 frame = -1, Bool* ismovie = nullptr);
  /// Scales this picture into dst's current size (intensity 256: full strength).
  void ScaleIt(BaseBitmap* dst, Int32 intensity, Bool sample, Bool nonProportional) const;
  Int32 GetBw() const;
  Int32 GetBh() const;
};

/// An icon: a region of a bitmap that the host keeps. Laid out like C4DIconData.
struct IconData {
  BaseBitmap* bmp = nullptr;  ///< borrowed: the host keeps the icon's bitmap
  Int32 x = 0;
  Int32 y = 0;
  Int32 w = 0;
  Int32 h = 0;
  ICONDATAFLAGS flags = ICONDATAFLAGS::NONE;
  Int32 reserved = 0;
};

/// Registers the region (x, y, w, h) of image file fn as icon lIconID.
Bool RegisterIcon(Int32 lIconID, const Filename& fn, Int32 x = 0, Int32 y = 0, Int32 w = 32, Int32 h = 32,
                  ICONFLAG lFlags = ICONFLAG::NONE);
/// Fills dat with icon lIconID; false when the host has no such icon.
Bool GetIcon(Int32 lIconID, IconData* dat);

CINEMA_NAMESPACE_END
