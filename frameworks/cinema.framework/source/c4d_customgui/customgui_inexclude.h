// customgui_inexclude.h - the in/exclude list custom data type. A plug-in that reads a
// list includes this header itself: c4d.h does not.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_basecontainer.h"
#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", InExcludeData)

CINEMA_NAMESPACE_BEGIN

class BaseDocument;
class BaseList2D;

/// Custom data type ID of InExcludeData.
#define CUSTOMDATATYPE_INEXCLUDE_LIST 1009290

/// A list of scene objects, each entry with flag bits. Holds no data: a pointer to it is
/// the host's handle.
#if API_VERSION >= 2024000
class InExcludeData : public CustomDataTypeT<CUSTOMDATATYPE_INEXCLUDE_LIST> {
#else
class InExcludeData : public CustomDataType {
#endif
 public:
  InExcludeData() = delete;

  Int32 GetObjectCount() const;
  /// The object of entry index if it is alive in doc, else null.
  BaseList2D* ObjectFromIndex(const BaseDocument* doc, Int32 index) const;
  /// The flags of entry index; 0 when out of range.
  Int32 GetFlags(Int32 index) const;
};

CINEMA_NAMESPACE_END
