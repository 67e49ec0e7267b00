// c4d_enums.h - enumerations and well-known IDs of the host.
#pragma once

#include "maxon/apibase.h"

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

/// Object states of BaseObject::GetDeformMode.
enum class OBJECTSTATE : Int32 {
  RENDER = 0,
  EDITOR = 1,
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

/// Result of BaseBitmap::Init.
enum class IMAGERESULT : Int32 {
  OK = 1,
  NOTEXISTING = -1,
  WRONGTYPE = -2,
  OUTOFMEMORY = -3,
};

/// Node types.
enum {
  Obase = 5100,
  Olight = 5102,
  Ocamera = 5103,
  Mbase = 5703,
  Xbase = 5707,
};

/// Value types of GeData; custom data types use their own IDs.
enum {
  DA_NIL = 0,
  DA_LONG = 15,
  DA_REAL = 19,
  DA_VECTOR = 23,
  DA_STRING = 130,
  DA_ALIASLINK = 133,
  CUSTOMDATATYPE_GRADIENT = 1000481,
  CUSTOMDATATYPE_INEXCLUDE_LIST = 1009290,
};

/// Messages.
enum {
  MSG_INITIALCHANNEL = 1001073,
};

/// Gradient settings and knot interpolations.
enum {
  GRADIENT_MODE = 1002,
  GRADIENTMODE_COLOR = 0,
  GRADIENT_INTERPOLATION_SMOOTHKNOT = 2,
  GRADIENT_INTERPOLATION_LINEARKNOT = 3,
  GRADIENT_INTERPOLATION_NONE = 5,
};

/// The interface version a plug-in declares when it registers.
enum {
  API_VERSION = 23100,
};
