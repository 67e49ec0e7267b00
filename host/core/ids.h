// ids.h - the host's own node types and parameter IDs.
//
// Conventions of the scene model:
//   - Angles are radians. Colours are linear RGB, unclamped.
//   - Placement ("a simple matrix"): every object keeps its world position and the world
//     direction of its local +Z axis in its container (OBJECT_POSITION, OBJECT_DIRECTION;
//     defaults (0,0,0) and (0,0,1)); OBJECT_UP gives the +Y axis hint for cameras and
//     geometry (default (0,1,0)). There is no rotation order, scale or hierarchy
//     transform: children do not inherit placement. A light shines along its direction
//     (spot axis; the travel direction of a distant light's rays).
//   - Booleans are stored as LONG 0/1.
#pragma once

#include <cstdint>

#include "c4d_host_abi.h"

namespace host {

// ---- Node types -------------------------------------------------------------------
inline constexpr int32_t kTypeLight = C4D_TYPE_LIGHT;        ///< 5102
inline constexpr int32_t kTypeCamera = C4D_TYPE_CAMERA;      ///< 5103
inline constexpr int32_t kTypeShader = C4D_TYPE_SHADER;      ///< 5707: every shader is one
inline constexpr int32_t kTypeMaterial = C4D_TYPE_MATERIAL;          ///< 5703
inline constexpr int32_t kTypeBaseMaterial = C4D_TYPE_BASEMATERIAL;  ///< 5702: every material is one
inline constexpr int32_t kTypeObject = C4D_TYPE_OBJECT;              ///< 5100: every geometry object is one
inline constexpr int32_t kTypeBaseObject = C4D_TYPE_BASEOBJECT;      ///< 5155: every object is one
inline constexpr int32_t kTypeNull = 5140;                   ///< empty object (grouping only)
inline constexpr int32_t kTypeCube = 5159;                   ///< axis-aligned box (see CUBE_SIZE)
inline constexpr int32_t kTypeSphere = 5160;                 ///< sphere (SPHERE_RADIUS)
inline constexpr int32_t kTypePlane = 5168;                  ///< plane (PLANE_WIDTH/DEPTH)

/// Built-in shaders (instances of kTypeShader).
inline constexpr int32_t kShaderColor = 5832;         ///< solid colour
inline constexpr int32_t kShaderCheckerboard = 5831;  ///< checkerboard on uvw
inline constexpr int32_t kShaderNoise = 1011116;      ///< value noise

// ---- Parameters of every object -----------------------------------------------------
inline constexpr int32_t OBJECT_ENABLED = 900;    ///< LONG 0/1, default 1: the on/off switch
inline constexpr int32_t OBJECT_POSITION = 901;   ///< VECTOR, world position
inline constexpr int32_t OBJECT_DIRECTION = 902;  ///< VECTOR, world direction of local +Z
inline constexpr int32_t OBJECT_UP = 903;         ///< VECTOR, world up hint (+Y)
inline constexpr int32_t OBJECT_MATERIAL = 904;   ///< LINK to the material of a geometry object

// ---- Lights (type 5102) -----------------------------------------------------------
inline constexpr int32_t LIGHT_TYPE = 1000;  ///< LONG: LIGHT_TYPE_* (default omni)
inline constexpr int32_t LIGHT_TYPE_OMNI = 0;
inline constexpr int32_t LIGHT_TYPE_SPOT = 1;
inline constexpr int32_t LIGHT_TYPE_DISTANT = 2;
inline constexpr int32_t LIGHT_COLOR = 1001;       ///< VECTOR, default (1,1,1)
inline constexpr int32_t LIGHT_BRIGHTNESS = 1002;  ///< REAL multiplier, default 1
inline constexpr int32_t LIGHT_FALLOFF = 1003;     ///< LONG: LIGHT_FALLOFF_* (default none)
/// No falloff: the light reaches everywhere with full strength.
inline constexpr int32_t LIGHT_FALLOFF_NONE = 0;
/// Factor min(1, (radius / d)^2): full strength up to radius, inverse-square beyond.
inline constexpr int32_t LIGHT_FALLOFF_INVERSESQUARE = 1;
/// Factor 1 - d / radius up to radius; the light does not reach beyond radius.
inline constexpr int32_t LIGHT_FALLOFF_LINEAR = 2;
inline constexpr int32_t LIGHT_FALLOFF_RADIUS = 1004;  ///< REAL > 0, default 500
/// Spot: full opening angle of the cone (radians, default 30 degrees). Outside it the light
/// does not reach.
inline constexpr int32_t LIGHT_SPOT_ANGLE = 1005;
/// Spot: full opening angle of the fully lit inner cone (radians, default 0: the whole
/// cone is a soft edge). Between inner and outer angle the strength falls off with a
/// smoothstep of the angle from the axis: smoothstep(outer/2, inner/2, angle).
inline constexpr int32_t LIGHT_SPOT_INNER_ANGLE = 1006;

// ---- Cameras (type 5103) ------------------------------------------------------------
inline constexpr int32_t CAMERA_FOV = 1100;  ///< REAL, horizontal field of view (radians), default 60 degrees

// ---- Geometry ---------------------------------------------------------------------
inline constexpr int32_t SPHERE_RADIUS = 1200;  ///< REAL, default 100
inline constexpr int32_t CUBE_SIZE = 1210;      ///< VECTOR edge lengths, default (200,200,200)
inline constexpr int32_t PLANE_WIDTH = 1220;    ///< REAL along local X, default 0 = infinite
inline constexpr int32_t PLANE_DEPTH = 1221;    ///< REAL along local Y (in the plane), default 0 = infinite

// ---- Materials (type 5703) ----------------------------------------------------------
inline constexpr int32_t MATERIAL_COLOR = 1300;         ///< VECTOR, used when no shader is linked
inline constexpr int32_t MATERIAL_COLOR_SHADER = 1301;  ///< LINK to the shader of the colour channel

// ---- Built-in shader parameters ---------------------------------------------------
inline constexpr int32_t COLORSHADER_COLOR = 1400;       ///< VECTOR, default (1,1,1)
inline constexpr int32_t COLORSHADER_BRIGHTNESS = 1401;  ///< REAL, default 1
inline constexpr int32_t CHECKER_COLOR1 = 1410;          ///< VECTOR, default (1,1,1)
inline constexpr int32_t CHECKER_COLOR2 = 1411;          ///< VECTOR, default (0,0,0)
inline constexpr int32_t CHECKER_USCALE = 1412;          ///< REAL, squares per unit u, default 8
inline constexpr int32_t CHECKER_VSCALE = 1413;          ///< REAL, squares per unit v, default 8
inline constexpr int32_t NOISE_COLOR1 = 1420;            ///< VECTOR, default (0,0,0)
inline constexpr int32_t NOISE_COLOR2 = 1421;            ///< VECTOR, default (1,1,1)
inline constexpr int32_t NOISE_SCALE = 1422;             ///< REAL, lattice cells per unit, default 1
inline constexpr int32_t NOISE_SPACE = 1423;             ///< LONG: NOISE_SPACE_*
inline constexpr int32_t NOISE_SPACE_UVW = 0;            ///< noise on the texture coordinates (default)
inline constexpr int32_t NOISE_SPACE_WORLD = 1;          ///< on the world point (uvw without volume data)
inline constexpr int32_t NOISE_SEED = 1424;              ///< LONG, default 0

}  // namespace host
