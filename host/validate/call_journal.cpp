#include "validate/call_journal.h"

#include <atomic>

#include "core/suites.h"

namespace host {
namespace {

std::atomic<bool> counting{false};
std::atomic<int64_t> reads{0}, writes{0}, walks{0};

const C4DHostInterface& Original() { return *Interface(); }

void Count(std::atomic<int64_t>& counter) {
  if (counting.load(std::memory_order_relaxed)) counter.fetch_add(1, std::memory_order_relaxed);
}

bool GetValue(const C4DContainer* c, int32_t id, C4DValue* out) {
  Count(reads);
  return Original().container->GetValue(c, id, out);
}
bool SetValue(C4DContainer* c, int32_t id, const C4DValue* value) {
  Count(writes);
  return Original().container->SetValue(c, id, value);
}
C4DNode* GetLink(const C4DContainer* c, int32_t id, const C4DDocument* doc, int32_t instanceType) {
  Count(reads);
  return Original().container->GetLink(c, id, doc, instanceType);
}
void* GetCustomData(const C4DContainer* c, int32_t id, int32_t type) {
  Count(reads);
  return Original().container->GetCustomData(c, id, type);
}
C4DContainer* GetDataInstance(C4DNode* node) {
  Count(reads);
  return Original().node->GetDataInstance(node);
}
int32_t ListCount(const C4DInExclude* list) {
  Count(walks);
  return Original().customData->InExcludeGetObjectCount(list);
}
C4DNode* ListObject(const C4DInExclude* list, const C4DDocument* doc, int32_t index) {
  Count(walks);
  return Original().customData->InExcludeObjectFromIndex(list, doc, index);
}
int32_t ListFlags(const C4DInExclude* list, int32_t index) {
  Count(walks);
  return Original().customData->InExcludeGetFlags(list, index);
}

struct Record {
  C4DContainerSuite1 container;
  C4DNodeSuite1 node;
  C4DCustomDataSuite1 customData;
  C4DHostInterface record;

  Record() : container(*Original().container), node(*Original().node), customData(*Original().customData) {
    container.GetValue = GetValue;
    container.SetValue = SetValue;
    container.GetLink = GetLink;
    container.GetCustomData = GetCustomData;
    node.GetDataInstance = GetDataInstance;
    customData.InExcludeGetObjectCount = ListCount;
    customData.InExcludeObjectFromIndex = ListObject;
    customData.InExcludeGetFlags = ListFlags;
    record = Original();
    record.container = &container;
    record.node = &node;
    record.customData = &customData;
  }
};

}  // namespace

std::string CallCounts::ToString() const {
  std::string out;
  auto one = [&](int64_t n, const char* single, const char* many) {
    if (n <= 0) return;
    out += (out.empty() ? "" : ", ") + std::to_string(n) + " " + (n == 1 ? single : many);
  };
  one(containerReads, "container read", "container reads");
  one(containerWrites, "container write", "container writes");
  one(listWalks, "list access", "list accesses");
  return out;
}

const C4DHostInterface* JournalingInterface() {
  static const Record record;
  return &record.record;
}

void StartCallJournal() {
  reads = 0;
  writes = 0;
  walks = 0;
  counting = true;
}

CallCounts StopCallJournal() {
  counting = false;
  return CallCounts{reads.load(), writes.load(), walks.load()};
}

}  // namespace host
