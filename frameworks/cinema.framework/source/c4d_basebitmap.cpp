// c4d_basebitmap.cpp - bitmaps and icons on the host's bitmap suite.
#include "c4d_basebitmap.h"

#include "host_access.h"

using maxon::details::BitmapSuite;
using maxon::details::Handle;

CINEMA_NAMESPACE_BEGIN

static_assert(sizeof(IconData) == sizeof(C4DIconData) &&
                  offsetof(IconData, bmp) == offsetof(C4DIconData, bmp) &&
                  offsetof(IconData, x) == offsetof(C4DIconData, x) &&
                  offsetof(IconData, y) == offsetof(C4DIconData, y) &&
                  offsetof(IconData, w) == offsetof(C4DIconData, w) &&
                  offsetof(IconData, h) == offsetof(C4DIconData, h) &&
                  offsetof(IconData, flags) == offsetof(C4DIconData, flags),
              "IconData mirrors C4DIconData");

BaseBitmap* BaseBitmap::Alloc() {
  const C4DBitmapSuite1* suite = BitmapSuite();
  return suite != nullptr ? Handle<BaseBitmap>(suite->BitmapAlloc()) : nullptr;
}

void BaseBitmap::Free(BaseBitmap*& bmp) {
  if (bmp == nullptr) return;
  if (const C4DBitmapSuite1* suite = maxon::details::ReleaseBitmapSuite())
    suite->BitmapFree(Handle<C4DBitmap>(bmp));
  bmp = nullptr;
}

IMAGERESULT BaseBitmap::Init(const Filename& name, Int32 frame, Bool* ismovie) {
  const C4DBitmapSuite1* suite = BitmapSuite();
  if (suite == nullptr) return IMAGERESULT::NOTEXISTING;
  return static_cast<IMAGERESULT>(
      suite->BitmapInit(Handle<C4DBitmap>(this), name.GetHandle(), frame, ismovie));
}

void BaseBitmap::ScaleIt(BaseBitmap* dst, Int32 intensity, Bool sample, Bool nonProportional) const {
  const C4DBitmapSuite1* suite = BitmapSuite();
  if (suite != nullptr && dst != nullptr)
    suite->BitmapScaleIt(Handle<C4DBitmap>(this), Handle<C4DBitmap>(dst), intensity, sample, nonProportional);
}

Int32 BaseBitmap::GetBw() const {
  const C4DBitmapSuite1* suite = BitmapSuite();
  return suite != nullptr ? suite->BitmapGetWidth(Handle<C4DBitmap>(this)) : 0;
}

Int32 BaseBitmap::GetBh() const {
  const C4DBitmapSuite1* suite = BitmapSuite();
  return suite != nullptr ? suite->BitmapGetHeight(Handle<C4DBitmap>(this)) : 0;
}

Bool RegisterIcon(Int32 lIconID, const Filename& fn, Int32 x, Int32 y, Int32 w, Int32 h, ICONFLAG lFlags) {
  const C4DBitmapSuite1* suite = BitmapSuite();
  return suite != nullptr &&
         suite->RegisterIcon(lIconID, fn.GetHandle(), x, y, w, h, static_cast<Int32>(lFlags));
}

Bool GetIcon(Int32 lIconID, IconData* dat) {
  const C4DBitmapSuite1* suite = BitmapSuite();
  return suite != nullptr && dat != nullptr && suite->GetIcon(lIconID, Handle<C4DIconData>(dat));
}

CINEMA_NAMESPACE_END
