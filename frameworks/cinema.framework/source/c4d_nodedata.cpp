// c4d_nodedata.cpp - shader registration and the adapters through which the host calls
// a plug-in's shader instances.
//
// The host calls plain C functions with the instance as an opaque C4DNodeData*; the
// adapters below turn that back into the NodeData/ShaderData object and call its virtual
// operations. The host's allocation call carries no context, so each registered shader
// class gets its own allocation adapter from a small fixed set of slots.
#include "c4d_nodedata.h"

#include "c4d_resource.h"
#include "host_access.h"

using maxon::details::Handle;
using maxon::details::NodeSuite;
using maxon::details::RegistrySuite;

CINEMA_NAMESPACE_BEGIN

namespace {

constexpr int kMaxShaderClasses = 8;
DataAllocator* g_allocators[kMaxShaderClasses] = {};
int g_allocatorCount = 0;

NodeData* Data(C4DNodeData* data) { return reinterpret_cast<NodeData*>(data); }
ShaderData* Shader(C4DNodeData* data) { return static_cast<ShaderData*>(Data(data)); }

template <int SLOT>
C4DNodeData* AllocAdapter() {
  DataAllocator* allocator = g_allocators[SLOT];
  return allocator != nullptr ? reinterpret_cast<C4DNodeData*>(allocator()) : nullptr;
}

using AllocFunction = C4DNodeData* (*)();

constexpr AllocFunction kAllocAdapters[kMaxShaderClasses] = {
    AllocAdapter<0>, AllocAdapter<1>, AllocAdapter<2>, AllocAdapter<3>,
    AllocAdapter<4>, AllocAdapter<5>, AllocAdapter<6>, AllocAdapter<7>,
};

void FreeAdapter(C4DNodeData* data) {
  NodeData* node = Data(data);
  DeleteObj(node);
}

bool InitAdapter(C4DNodeData* data, C4DNode* node) {
#if API_VERSION >= 2024000
  // The host initialises new nodes only; a copy gets its parameters from the host.
  return Data(data)->Init(Handle<GeListNode>(node), false);
#else
  return Data(data)->Init(Handle<GeListNode>(node));
#endif
}

bool MessageAdapter(C4DNodeData* data, C4DNode* node, int32_t type, void* msgData) {
  return Data(data)->Message(Handle<GeListNode>(node), type, msgData);
}

bool GetDEnablingAdapter(C4DNodeData* data, C4DNode* node, const C4DDescID* id, const C4DValue* tData,
                         int32_t flags, const C4DContainer* itemdesc) {
  // The stand-ins for a missing ID or value live for this call only. A function-local
  // static GeData would be destroyed with the module's globals at the final action 3, and
  // a later start in the same load would hand the destroyed object to the plug-in.
  const DescID noId;
  const GeData noData;
  const DescID& descId = id != nullptr ? *reinterpret_cast<const DescID*>(id) : noId;
  const GeData& value = tData != nullptr ? *reinterpret_cast<const GeData*>(tData) : noData;
  return Data(data)->GetDEnabling(Handle<GeListNode>(node), descId, value,
                                  static_cast<DESCFLAGS_ENABLE>(flags), Handle<BaseContainer>(itemdesc));
}

int32_t InitRenderAdapter(C4DNodeData* data, C4DNode* shader, const C4DInitRenderStruct* irs) {
  const InitRenderStruct noIrs;
  const InitRenderStruct& init = irs != nullptr ? *Handle<InitRenderStruct>(irs) : noIrs;
  return static_cast<int32_t>(Shader(data)->InitRender(Handle<BaseShader>(shader), init));
}

void FreeRenderAdapter(C4DNodeData* data, C4DNode* shader) {
  Shader(data)->FreeRender(Handle<BaseShader>(shader));
}

void OutputAdapter(const C4DNodeData* data, C4DNode* shader, C4DChannelData* cd, C4DVector* out) {
  // Output writes nothing in the instance; the C record passes it as const.
  const Vector v =
      Shader(const_cast<C4DNodeData*>(data))->Output(Handle<BaseShader>(shader), Handle<ChannelData>(cd));
  if (out != nullptr) {
    out->x = v.x;
    out->y = v.y;
    out->z = v.z;
  }
}

int32_t GetRenderInfoAdapter(C4DNodeData* data, C4DNode* shader) {
  return static_cast<int32_t>(Shader(data)->GetRenderInfo(Handle<BaseShader>(shader)));
}

}  // namespace

Bool RegisterShaderPlugin(Int32 id, const maxon::String& str, Int32 info, DataAllocator* g,
                          const maxon::String& description, Int32 disklevel) {
  const C4DRegistrySuite1* registry = RegistrySuite();
  if (registry == nullptr || g == nullptr) return false;

  // The description comes first: without it the shader is not registered.
  if (description.IsPopulated() &&
      !registry->RegisterDescription(id, description.GetHandle(), g_resource.GetHandle()))
    return false;

  // Reuse the slot of an allocator registered before, else take a new one.
  int slot = 0;
  while (slot < g_allocatorCount && g_allocators[slot] != g) ++slot;
  if (slot == g_allocatorCount) {
    if (g_allocatorCount == kMaxShaderClasses) return false;
    g_allocators[g_allocatorCount++] = g;
  }

  C4DShaderPluginRecord record = {};
  record.size = static_cast<int32_t>(sizeof(record));
  record.info = info;
  record.diskLevel = disklevel;
  record.Alloc = kAllocAdapters[slot];
  record.Free = FreeAdapter;
  record.Init = InitAdapter;
  record.Message = MessageAdapter;
  record.GetDEnabling = GetDEnablingAdapter;
  record.InitRender = InitRenderAdapter;
  record.FreeRender = FreeRenderAdapter;
  record.Output = OutputAdapter;
  record.GetRenderInfo = GetRenderInfoAdapter;
  // The declared version is the boundary's, whichever API shape the module is built in.
  return registry->RegisterPlugin(C4D_PLUGINTYPE_SHADER, id, str.GetHandle(), &record, record.size,
                                  C4D_API_VERSION);
}

void HandleInitialChannel(GeListNode* node, Int32 id, Int32 type, void* data) {
  if (type != MSG_INITIALCHANNEL || node == nullptr || data == nullptr) return;
  BaseShader* shader = Handle<BaseShader>(static_cast<C4DNode*>(data));
  if (!shader->IsInstanceOf(Xbase)) return;
  BaseContainer* bc = static_cast<BaseList2D*>(node)->GetDataInstance();
  if (bc == nullptr) return;
  // The node takes the shader over; only then does the link point to it.
  if (node->InsertShader(shader)) bc->SetLink(id, shader);
}

void HandleShaderMessage(GeListNode* node, BaseShader* ps, Int32 type, void* data) {
  (void)node;
  if (ps != nullptr) ps->Message(type, data);
}

CINEMA_NAMESPACE_END
