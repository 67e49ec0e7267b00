// c4d_nodedata.h - plug-in base classes: BaseData, NodeData, ShaderData, and their
// registration.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_basecontainer.h"
#include "c4d_baselist.h"
#include "c4d_enums.h"
#include "c4d_raytrace.h"
#include "maxon/apibase.h"
#include "maxon/string.h"
#include "maxon/vec.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", NodeData)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", ShaderData)

CINEMA_NAMESPACE_BEGIN

/// Root of the plug-in data classes.
class BaseData {
 public:
  virtual ~BaseData() = default;
};

/// The plug-in side of a scene node. The host owns instances: it creates them through the
/// plug-in's allocation function and destroys them.
class NodeData : public BaseData {
 public:
#if API_VERSION >= 2024000
  /// Called once on a new instance; writes the node's parameter defaults. isCloneInit:
  /// the node is a copy that gets its parameters copied next (the host sends false).
  virtual Bool Init(GeListNode* node, Bool isCloneInit) {
    (void)node;
    (void)isCloneInit;
    return true;
  }
#else
  /// Called once on a new instance; writes the node's parameter defaults.
  virtual Bool Init(GeListNode* node) {
    (void)node;
    return true;
  }
#endif
  /// A message sent to the node; answers true by default.
  virtual Bool Message(GeListNode* node, Int32 type, void* data) {
    (void)node;
    (void)type;
    (void)data;
    return true;
  }
  /// Whether the parameter id is enabled in the interface; all are by default.
#if API_VERSION >= 2024000
  virtual Bool GetDEnabling(const GeListNode* node, const DescID& id, const GeData& tData,
                            DESCFLAGS_ENABLE flags, const BaseContainer* itemdesc) const {
#else
  virtual Bool GetDEnabling(GeListNode* node, const DescID& id, const GeData& tData, DESCFLAGS_ENABLE flags,
                            const BaseContainer* itemdesc) {
#endif
    (void)node;
    (void)id;
    (void)tData;
    (void)flags;
    (void)itemdesc;
    return true;
  }
};

/// A channel shader.
class ShaderData : public NodeData {
 public:
  /// Prepares a render; runs once before the samples.
  virtual INITRENDERRESULT InitRender(BaseShader* sh, const InitRenderStruct& irs) {
    (void)sh;
    (void)irs;
    return INITRENDERRESULT::OK;
  }
  /// Releases what InitRender prepared.
  virtual void FreeRender(BaseShader* sh) { (void)sh; }
  /// The colour of one sample. May run on many render threads at once.
  virtual Vector Output(BaseShader* sh, ChannelData* cd) {
    (void)sh;
    (void)cd;
    return Vector(0.0);
  }
  /// The shader's render information flags.
  virtual SHADERINFO GetRenderInfo(BaseShader* sh) {
    (void)sh;
    return SHADERINFO::NONE;
  }
};

/// The allocation function of a plug-in class: a new instance, or null when out of memory.
using DataAllocator = NodeData*();

/// Registers a channel shader. When description is not empty, the description resource of
/// that name is first registered for id from the module's resource; if that fails, false.
/// Returns whether the host accepted the shader.
Bool RegisterShaderPlugin(Int32 id, const maxon::String& str, Int32 info, DataAllocator* g,
                          const maxon::String& description, Int32 disklevel);

/// For MSG_INITIALCHANNEL (data: the shader to use), attaches that shader below node and
/// links it at parameter id. Does nothing for other messages.
void HandleInitialChannel(GeListNode* node, Int32 id, Int32 type, void* data);

/// Forwards a message received by node to its sub-shader ps (null: nothing to do).
void HandleShaderMessage(GeListNode* node, BaseShader* ps, Int32 type, void* data);

CINEMA_NAMESPACE_END
