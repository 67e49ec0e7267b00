// c4d_baselist.cpp - scene nodes on the host's node and render suites.
#include "c4d_baselist.h"

#include "c4d_raytrace.h"
#include "host_access.h"

using maxon::details::Handle;
using maxon::details::NodeSuite;
using maxon::details::RenderSuite;

CINEMA_NAMESPACE_BEGIN

Int32 GeListNode::GetType() const {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr ? suite->GetType(Handle<C4DNode>(this)) : 0;
}

Bool GeListNode::IsInstanceOf(Int32 type) const {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr && suite->IsInstanceOf(Handle<C4DNode>(this), type);
}

BaseDocument* GeListNode::GetDocument() const {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr ? Handle<BaseDocument>(suite->GetDocument(Handle<C4DNode>(this))) : nullptr;
}

Bool GeListNode::InsertShader(BaseShader* shader) {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr && suite->InsertShader(Handle<C4DNode>(this), Handle<C4DNode>(shader));
}

Bool GeListNode::Message(Int32 type, void* data) {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr && suite->Message(Handle<C4DNode>(this), type, data);
}

BaseContainer* BaseList2D::GetDataInstance() {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr ? Handle<BaseContainer>(suite->GetDataInstance(Handle<C4DNode>(this))) : nullptr;
}

const BaseContainer* BaseList2D::GetDataInstance() const {
  return const_cast<BaseList2D*>(this)->GetDataInstance();
}

Bool BaseObject::GetDeformMode() const {
  const C4DNodeSuite1* suite = NodeSuite();
  return suite != nullptr &&
         suite->GetDeformMode(Handle<C4DNode>(this), static_cast<Int32>(OBJECTSTATE::DEFORM));
}

Vector BaseShader::Sample(ChannelData* cd) {
  const C4DRenderSuite1* suite = RenderSuite();
  C4DVector out = {0.0, 0.0, 0.0};
  if (suite != nullptr) suite->SampleShader(Handle<C4DNode>(this), Handle<C4DChannelData>(cd), &out);
  return Vector(out.x, out.y, out.z);
}

INITRENDERRESULT BaseShader::InitRender(const InitRenderStruct& irs) {
  const C4DRenderSuite1* suite = RenderSuite();
  if (suite == nullptr) return INITRENDERRESULT::UNKNOWNERROR;
  return static_cast<INITRENDERRESULT>(
      suite->ShaderInitRender(Handle<C4DNode>(this), Handle<C4DInitRenderStruct>(&irs)));
}

void BaseShader::FreeRender() {
  const C4DRenderSuite1* suite = RenderSuite();
  if (suite != nullptr) suite->ShaderFreeRender(Handle<C4DNode>(this));
}

CINEMA_NAMESPACE_END
