// c4d_baselist.h - scene nodes: GeListNode, BaseList2D, BaseObject, BaseShader, BaseDocument.
//
// None of these classes holds data: a pointer to one is the host's handle of the node.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_basecontainer.h"
#include "c4d_enums.h"
#include "maxon/apibase.h"
#include "maxon/vec.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GeListNode)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseList2D)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseObject)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseShader)

CINEMA_NAMESPACE_BEGIN

class BaseDocument;
class BaseShader;
struct ChannelData;
struct InitRenderStruct;

#define C4D_HANDLE_CLASS(Name) \
 public:                       \
  Name() = delete;             \
  Name(const Name&) = delete;  \
  Name& operator=(const Name&) = delete

/// Any node of a scene.
class GeListNode {
  C4D_HANDLE_CLASS(GeListNode);

  /// The node's type ID (e.g. Olight).
  Int32 GetType() const;
  /// True when the node is of type or derives from it (every shader is an Xbase).
  Bool IsInstanceOf(Int32 type) const;
  /// The document the node belongs to, or null.
  BaseDocument* GetDocument() const;
  /// Attaches shader below this node, which takes ownership of it. False if the shader
  /// already has a parent.
  Bool InsertShader(BaseShader* shader);
  /// Sends a message to the node; the node's answer.
  Bool Message(Int32 type, void* data = nullptr);
};

/// A node with a parameter container.
class BaseList2D : public GeListNode {
  C4D_HANDLE_CLASS(BaseList2D);

  /// The node's parameter container (owned by the node).
  BaseContainer* GetDataInstance();
  const BaseContainer* GetDataInstance() const;
};

/// A scene object.
class BaseObject : public BaseList2D {
  C4D_HANDLE_CLASS(BaseObject);

  /// The object's on/off switch (OBJECTSTATE::DEFORM): true when it is switched on.
  Bool GetDeformMode() const;
};

/// A shader node.
class BaseShader : public BaseList2D {
  C4D_HANDLE_CLASS(BaseShader);

  /// The shader's colour for one sample.
  Vector Sample(ChannelData* cd);
  /// Prepares the shader for a render.
  INITRENDERRESULT InitRender(const InitRenderStruct& irs);
  /// Releases what InitRender prepared.
  void FreeRender();
};

/// A scene. Not a node of the scene itself.
class BaseDocument {
  C4D_HANDLE_CLASS(BaseDocument);
};

CINEMA_NAMESPACE_END
