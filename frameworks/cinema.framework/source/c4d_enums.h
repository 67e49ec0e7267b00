// c4d_enums.h - enumerations and well-known IDs of the host.
#pragma once

#include "c4d_apiversion.h"
#include "maxon/apibase.h"

CINEMA_NAMESPACE_BEGIN

/// Result of a shader's or material's render preparation.
enum class INITRENDERRESULT : Int32 {
  OK = 0,
  OUTOFMEMORY = -100,
  ASSETMISSING = -101,
  UNKNOWNERROR = -102,
  USERBREAK = -103,
};

/// Render information flags of a shader (GetRenderInfo).
enum class SHADERINFO : Int32 {
  NONE = 0,
  TRANSFORM = 4,
  BUMP_SUPPORT = 16,
  ALPHA_SUPPORT = 32,
};

/// Shadow flags of VolumeData::IlluminateSurfacePoint.
enum class ILLUMINATEFLAGS : Int32 {
  NONE = 0,
  SHADOW = 1,
};

/// Ray classification bits.
enum class RAYBIT : Int32 {
  NONE = 0,
};

/// Object states: the editor and render visibility switches and the on/off switch
/// (BaseObject::GetDeformMode).
enum class OBJECTSTATE : Int32 {
  EDITOR = 0,
  RENDER = 1,
  DEFORM = 2,
};

/// Flags of NodeData::GetDEnabling.
enum class DESCFLAGS_ENABLE : Int32 {
  NONE = 0,
};

/// Flags of RegisterIcon.
enum class ICONFLAG : Int32 {
  NONE = 0,
};

/// Flags of an icon (IconData::flags).
enum class ICONDATAFLAGS : Int32 {
  NONE = 0,
};

/// Result of BaseBitmap::Init.
enum class IMAGERESULT : Int32 {
  OK = 1,
  NOTEXISTING = -1,
  WRONGTYPE = -2,
  OUTOFMEMORY = -3,
};

/// Node types: Obase and Mbase are the base types of every object and every material,
/// Xbase that of every shader.
enum {
  Olight = 5102,
  Ocamera = 5103,
  Obase = 5155,
  Mbase = 5702,
  Mmaterial = 5703,
  Xbase = 5707,
};

/// Value types of GeData; custom data types use their own IDs (CUSTOMDATATYPE_*, declared
/// with their classes).
enum {
  DA_NIL = 0,
  DA_LONG = 15,
  DA_REAL = 19,
  DA_VECTOR = 23,
  DA_STRING = 130,
  DA_ALIASLINK = 133,
};

/// Messages.
enum {
  MSG_INITIALCHANNEL = 1001073,
};

CINEMA_NAMESPACE_END
