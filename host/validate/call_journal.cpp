#include "validate/call_journal.h"

#include <atomic>

#include "core/services.h"
#include "interface/host_interface.h"

namespace host {
namespace {

const C4DHostInterface& Original() { return *Interface(); }

// The counters are the current services' (CallCounters, core/services.h).
void Count(std::atomic<int64_t> CallCounters::*counter) {
  CallCounters& calls = Services().calls;
  if (calls.counting.load(std::memory_order_relaxed)) (calls.*counter).fetch_add(1, std::memory_order_relaxed);
}

bool GetValue(const C4DContainer* c, int32_t id, C4DValue* out) {
  Count(&CallCounters::reads);
  return Original().container->GetValue(c, id, out);
}
bool SetValue(C4DContainer* c, int32_t id, const C4DValue* value) {
  Count(&CallCounters::writes);
  return Original().container->SetValue(c, id, value);
}
C4DNode* GetLink(const C4DContainer* c, int32_t id, const C4DDocument* doc, int32_t instanceType) {
  Count(&CallCounters::reads);
  return Original().container->GetLink(c, id, doc, instanceType);
}
void* GetCustomData(const C4DContainer* c, int32_t id, int32_t type) {
  Count(&CallCounters::reads);
  return Original().container->GetCustomData(c, id, type);
}
C4DContainer* GetDataInstance(C4DNode* node) {
  Count(&CallCounters::reads);
  return Original().node->GetDataInstance(node);
}
int32_t ListCount(const C4DInExclude* list) {
  Count(&CallCounters::walks);
  return Original().customData->InExcludeGetObjectCount(list);
}
C4DNode* ListObject(const C4DInExclude* list, const C4DDocument* doc, int32_t index) {
  Count(&CallCounters::walks);
  return Original().customData->InExcludeObjectFromIndex(list, doc, index);
}
int32_t ListFlags(const C4DInExclude* list, int32_t index) {
  Count(&CallCounters::walks);
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
  CallCounters& calls = Services().calls;
  calls.reads = 0;
  calls.writes = 0;
  calls.walks = 0;
  calls.counting = true;
}

CallCounts StopCallJournal() {
  CallCounters& calls = Services().calls;
  calls.counting = false;
  return CallCounts{calls.reads.load(), calls.writes.load(), calls.walks.load()};
}

}  // namespace host
