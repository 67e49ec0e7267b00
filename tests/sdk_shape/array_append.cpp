// BaseArray::Append answers a maxon::ResultRef: tested against maxon::FAILED or maxon::OK,
// never against a pointer.
#include "c4d.h"

struct Entry {
  Int32 id;
};

Bool Add(maxon::BaseArray<Entry>& entries, Int32 id) {
#if SHAPE_CASE == 0
  maxon::ResultRef<Entry> added = entries.Append(Entry{id});
  if (added == maxon::FAILED) return false;
  return added.GetPointer()->id == id && added == maxon::OK;
#elif SHAPE_CASE == 1
  return entries.Append(Entry{id}) != nullptr;
#elif SHAPE_CASE == 2
  Entry* added = entries.Append(Entry{id});
  return added != nullptr;
#endif
}
