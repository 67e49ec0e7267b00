/* c4d_host_abi.h - the binary boundary between a plug-in module and the host.
 *
 * This is the ONE header that both sides compile. Only plain C types, small plain
 * structs and opaque handles cross it: no C++ class layout, vtable, library object or
 * exception passes in either direction.
 *
 * Shape of the boundary
 *   - The host hands the module a C4DHostInterface with c4d_main action 1. Its first
 *     field is the 32-bit interface version; the rest are pointers to service tables
 *     ("suites"), one per service group. A suite's version is part of its name: a new
 *     version is a new struct, an old one never changes.
 *   - Before the first c4d_main call the host fills C4DModuleInfo::memory in the module's
 *     exported g_maxon record, so that the framework's allocator works from then on.
 *   - Handles are pointers to structs that are declared here and never defined: the
 *     module can hold and pass them, never look inside.
 *   - The module hands the host plain C function pointers (C4DShaderPluginRecord) at
 *     registration; the host calls shader instances only through them.
 *
 * Conventions for every suite function
 *   - A null handle argument is answered as "absent": null, false, 0 or the default,
 *     never a crash.
 *   - Functions that return a new handle return null when the host is out of memory;
 *     the caller owns the handle and releases it with the matching release function.
 *   - "Borrowed" results stay valid until the object they came from changes or dies.
 *   - Booleans are C99 bool (one byte on every supported platform).
 */
#ifndef C4D_HOST_ABI_H__
#define C4D_HOST_ABI_H__

#include <stddef.h>
#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---------------------------------------------------------------------------------
 * Versions and well-known values
 * ------------------------------------------------------------------------------- */

/** Interface version of this header; hosts below C4D_API_VERSION_MIN are refused. */
#define C4D_API_VERSION 23100
#define C4D_API_VERSION_MIN 23100
/** Value of C4DModuleInfo::version once a module is loaded. */
#define C4D_MODULEINFO_VERSION 23004

/** Node type IDs. */
#define C4D_TYPE_LIGHT 5102     /* light object */
#define C4D_TYPE_CAMERA 5103    /* camera object */
#define C4D_TYPE_SHADER 5707    /* base shader: every shader is an instance of it */
#define C4D_TYPE_MATERIAL 5703  /* material */
#define C4D_TYPE_OBJECT 5100    /* generic (geometry) object */

/** Value types of C4DValue::type. Custom data types use their own ID (>= 1000000). */
#define C4D_DTYPE_NONE 0
#define C4D_DTYPE_LONG 15   /* int32; booleans are stored as LONG 0/1 */
#define C4D_DTYPE_REAL 19   /* double */
#define C4D_DTYPE_VECTOR 23 /* three doubles */
#define C4D_DTYPE_STRING 130 /* C4DString* */
#define C4D_DTYPE_LINK 133   /* C4DNode* (resolved through a document) */
#define C4D_CUSTOMDATA_GRADIENT 1000481  /* C4DGradient* */
#define C4D_CUSTOMDATA_INEXCLUDE 1009290 /* C4DInExclude* */

/** Messages. */
#define C4D_MSG_INITIALCHANNEL 1001073 /* data: C4DNode* of a shader to attach */

/** Plug-in types of RegisterPlugin. */
#define C4D_PLUGINTYPE_SHADER 2

/** Gradient settings and knot interpolations. */
#define C4D_GRADIENT_MODE 1002
#define C4D_GRADIENT_INTERPOLATION_SMOOTH 2 /* smoothstep between knots; the default */
#define C4D_GRADIENT_INTERPOLATION_LINEAR 3
#define C4D_GRADIENT_INTERPOLATION_STEP 5   /* the knot's colour up to the next knot */

/** Object state of GetDeformMode: the object's on/off switch. */
#define C4D_OBJECTSTATE_DEFORM 2

/** Shader information flags (GetRenderInfo). */
#define C4D_SHADERINFO_ALPHA_SUPPORT 32

/** Illumination flags, ray bits, render results. */
#define C4D_ILLUMINATEFLAGS_NONE 0
#define C4D_ILLUMINATEFLAGS_SHADOW 1
#define C4D_RAYBIT_NONE 0
#define C4D_INITRENDERRESULT_OK 0
#define C4D_INITRENDERRESULT_OUTOFMEMORY (-100)

/** Bitmap results. */
#define C4D_IMAGERESULT_OK 1
#define C4D_IMAGERESULT_NOTEXISTING (-1)
#define C4D_IMAGERESULT_WRONGTYPE (-2)
#define C4D_IMAGERESULT_OUTOFMEMORY (-3)

/* ---------------------------------------------------------------------------------
 * Opaque handles (declared, never defined on the module side)
 * ------------------------------------------------------------------------------- */
typedef struct C4DString C4DString;       /* reference-counted text */
typedef struct C4DFilename C4DFilename;   /* reference-counted immutable path */
typedef struct C4DContainer C4DContainer; /* a node's parameters keyed by int32 IDs */
typedef struct C4DNode C4DNode;           /* any scene node: object, material, shader */
typedef struct C4DDocument C4DDocument;   /* a scene */
typedef struct C4DGradient C4DGradient;   /* gradient custom data */
typedef struct C4DInExclude C4DInExclude; /* in/exclude list custom data */
typedef struct C4DRayLight C4DRayLight;   /* render-time view of one light object */
typedef struct C4DBitmap C4DBitmap;       /* 8-bit RGBA picture */
typedef struct C4DResource C4DResource;   /* a module's loaded resource folder */
typedef struct C4DNodeData C4DNodeData;   /* a plug-in's instance: only the module knows it */
typedef struct C4DRenderContext C4DRenderContext; /* the host's per-render state */

/* ---------------------------------------------------------------------------------
 * Plain structs
 * ------------------------------------------------------------------------------- */
typedef struct C4DVector {
  double x, y, z;
} C4DVector;

/** One value of any parameter type. Handles inside are borrowed (see SetValue). */
typedef struct C4DValue {
  int32_t type; /* C4D_DTYPE_* or a custom data type ID */
  int32_t reserved;
  union {
    int32_t i32;
    double f;
    C4DVector v;
    void* handle; /* C4DString*, C4DNode*, C4DGradient*, C4DInExclude* */
  } u;
} C4DValue;

typedef struct C4DDescLevel {
  int32_t id;
  int32_t dtype;
  int32_t creator;
} C4DDescLevel;

#define C4D_DESCID_MAXLEVELS 7
typedef struct C4DDescID {
  int32_t count;
  C4DDescLevel levels[C4D_DESCID_MAXLEVELS];
} C4DDescID;

typedef struct C4DGradientKnot {
  C4DVector col;
  double brightness;
  double pos;
  double bias;
  int32_t index;
  int32_t interpolation;
} C4DGradientKnot;

typedef struct C4DRay {
  C4DVector p; /* origin */
  C4DVector v; /* unit direction */
  double ior;
  int32_t transport;
  int32_t reserved;
} C4DRay;

typedef struct C4DRayHitID {
  int32_t polygon; /* the hit face or primitive */
  int32_t reserved;
  const C4DNode* object; /* the hit object */
} C4DRayHitID;

/** What the renderer knows of one shading sample's surface point. */
typedef struct C4DVolumeData {
  C4DVector p;      /* surface point (world) */
  C4DVector n;      /* phong normal (smoothed, unit) */
  C4DVector bumpn;  /* bump normal (unit) */
  C4DVector orign;  /* unsmoothed surface normal before phong and bump (unit) */
  C4DVector uvw;    /* texture coordinates */
  C4DRay ray;       /* the eye ray that hit the point */
  C4DRayHitID lhit; /* what was hit */
  double dist;      /* distance along the ray */
  int32_t thread;   /* render thread index */
  int32_t reserved;
  C4DRenderContext* context; /* host's render state; module never looks inside */
} C4DVolumeData;

/** Channel data of one sample, handed to a channel shader's Output. */
typedef struct C4DChannelData {
  C4DVector p; /* texture position (uvw) */
  C4DVector n; /* normal */
  C4DVector d; /* texture delta (filter size) */
  double t;    /* time in seconds */
  double off;
  double scale;
  C4DVolumeData* vd; /* null in previews and swatches that have no surface */
} C4DChannelData;

typedef struct C4DInitRenderStruct {
  C4DDocument* doc;
  double time;
  int32_t threadCount;
  int32_t reserved;
} C4DInitRenderStruct;

typedef struct C4DIconData {
  C4DBitmap* bmp; /* borrowed: the host keeps the icon's bitmap */
  int32_t x, y, w, h;
  int32_t flags;
  int32_t reserved;
} C4DIconData;

/* ---------------------------------------------------------------------------------
 * Service tables
 * ------------------------------------------------------------------------------- */

/** Framework memory. Blocks are aligned to max(alignment, 16). */
typedef struct C4DMemorySuite1 {
  void* (*Alloc)(size_t size, size_t alignment); /* null when out of memory */
  void (*Free)(void* block);                     /* null is ignored */
} C4DMemorySuite1;

/** Texts, file names and the console. */
typedef struct C4DTextSuite1 {
  /* Strings: new handles start with one reference. */
  C4DString* (*StringFromUtf8)(const char* utf8, size_t length);
  void (*StringRetain)(C4DString* s);
  void (*StringRelease)(C4DString* s);
  const char* (*StringUtf8)(const C4DString* s, size_t* length); /* borrowed; "" for null */
  const C4DString* (*EmptyString)(void); /* the host's shared empty text; never released */

  /* File names: immutable, reference counted; every operation returns a new handle. */
  C4DFilename* (*FilenameFromString)(const C4DString* path);
  void (*FilenameRetain)(C4DFilename* f);
  void (*FilenameRelease)(C4DFilename* f);
  C4DString* (*FilenameToString)(const C4DFilename* f);          /* new reference */
  C4DFilename* (*FilenameJoin)(const C4DFilename* dir, const C4DFilename* name);
  C4DFilename* (*FilenameDirectory)(const C4DFilename* f);       /* all but the last part */
  C4DFilename* (*FilenameFile)(const C4DFilename* f);            /* the last part */
  C4DFilename* (*FilenameClearSuffix)(const C4DFilename* f);     /* without ".ext" */
  bool (*FilenameEqual)(const C4DFilename* a, const C4DFilename* b); /* null equals empty */
  bool (*FilenameIsEmpty)(const C4DFilename* f);

  /* Console: writes one line. */
  void (*Print)(const C4DString* line);
} C4DTextSuite1;

/** Parameter containers. */
typedef struct C4DContainerSuite1 {
  /* Copies the value at id into out (handles borrowed); false and type NONE when absent. */
  bool (*GetValue)(const C4DContainer* c, int32_t id, C4DValue* out);
  /* Stores a copy: strings are retained, custom data is deep-copied, links are kept as
   * weak references. A value of type NONE removes the entry. False when out of memory. */
  bool (*SetValue)(C4DContainer* c, int32_t id, const C4DValue* value);
  /* The node linked at id if it is alive, belongs to doc and is an instance of
   * instanceType (0: any type); else null. */
  C4DNode* (*GetLink)(const C4DContainer* c, int32_t id, const C4DDocument* doc, int32_t instanceType);
  /* The custom data stored at id if its type is type; else null. Points into the container. */
  void* (*GetCustomData)(const C4DContainer* c, int32_t id, int32_t type);
} C4DContainerSuite1;

/** Nodes and documents. */
typedef struct C4DNodeSuite1 {
  int32_t (*GetType)(const C4DNode* node);
  bool (*IsInstanceOf)(const C4DNode* node, int32_t type);
  C4DDocument* (*GetDocument)(const C4DNode* node);
  C4DContainer* (*GetDataInstance)(C4DNode* node); /* borrowed */
  bool (*GetDeformMode)(const C4DNode* object, int32_t state); /* object switched on */
  /* Attaches shader below node (the node takes ownership of a shader that has no
   * parent). False if either is null or the shader already has a parent. */
  bool (*InsertShader)(C4DNode* node, C4DNode* shader);
  /* Sends a message to the node; the answer of its plug-in, or true for host nodes. */
  bool (*Message)(C4DNode* node, int32_t type, void* data);
} C4DNodeSuite1;

/** Custom data: gradients and in/exclude lists. */
typedef struct C4DCustomDataSuite1 {
  C4DGradient* (*GradientAlloc)(void);
  void (*GradientFree)(C4DGradient* g);
  bool (*GradientSetData)(C4DGradient* g, int32_t id, const C4DValue* value);
  bool (*GradientGetData)(const C4DGradient* g, int32_t id, C4DValue* out);
  int32_t (*GradientInsertKnot)(C4DGradient* g, const C4DGradientKnot* knot); /* index or -1 */
  int32_t (*GradientGetKnotCount)(const C4DGradient* g);
  bool (*GradientGetKnot)(const C4DGradient* g, int32_t index, C4DGradientKnot* out);
  bool (*GradientInitRender)(C4DGradient* g, const C4DInitRenderStruct* irs);
  void (*GradientFreeRender)(C4DGradient* g);
  /* Colour at pos in [0, 1] (clamped); thread-safe, allocation-free. */
  void (*GradientCalcPixel)(const C4DGradient* g, double pos, C4DVector* out);

  int32_t (*InExcludeGetObjectCount)(const C4DInExclude* list);
  C4DNode* (*InExcludeObjectFromIndex)(const C4DInExclude* list, const C4DDocument* doc, int32_t index);
  int32_t (*InExcludeGetFlags)(const C4DInExclude* list, int32_t index);
} C4DCustomDataSuite1;

/** Rendering: lights, illumination and shader sampling. */
typedef struct C4DRenderSuite1 {
  C4DRayLight* (*AllocRayLight)(C4DDocument* doc, C4DNode* lightObject); /* null if not a light */
  void (*FreeRayLight)(C4DRayLight* light);
  /* True when the light reaches p; then *col is the light's colour at p and *lv the unit
   * vector from p towards the light. Outputs are untouched when it answers false. */
  bool (*IlluminateSurfacePoint)(const C4DVolumeData* vd, C4DRayLight* light, C4DVector* col,
                                 C4DVector* lv, const C4DVector* p, const C4DVector* bumpn,
                                 const C4DVector* phongn, const C4DVector* orign,
                                 const C4DVector* rayVector, int32_t illuminateFlags,
                                 const C4DRayHitID* hitId, int32_t rayBits, bool cosineCutoff,
                                 C4DVector* xshadow);
  void (*SampleShader)(C4DNode* shader, C4DChannelData* cd, C4DVector* out);
  int32_t (*ShaderInitRender)(C4DNode* shader, const C4DInitRenderStruct* irs);
  void (*ShaderFreeRender)(C4DNode* shader);
} C4DRenderSuite1;

/** Bitmaps and icons. */
typedef struct C4DBitmapSuite1 {
  C4DBitmap* (*BitmapAlloc)(void);
  void (*BitmapFree)(C4DBitmap* bmp);
  /* Loads an image file; a C4D_IMAGERESULT_* code. */
  int32_t (*BitmapInit)(C4DBitmap* bmp, const C4DFilename* file, int32_t frame, bool* isMovie);
  /* Scales src into dst's current size. intensity 256 is full strength. */
  void (*BitmapScaleIt)(const C4DBitmap* src, C4DBitmap* dst, int32_t intensity, bool sample, bool nonProportional);
  int32_t (*BitmapGetWidth)(const C4DBitmap* bmp);
  int32_t (*BitmapGetHeight)(const C4DBitmap* bmp);

  bool (*RegisterIcon)(int32_t id, const C4DFilename* file, int32_t x, int32_t y, int32_t w, int32_t h, int32_t flags);
  bool (*GetIcon)(int32_t id, C4DIconData* out);
} C4DBitmapSuite1;

/** Resources and plug-in registration. */
typedef struct C4DRegistrySuite1 {
  C4DFilename* (*GetStartupPath)(void); /* new reference */
  C4DResource* (*LoadResource)(const C4DFilename* folder); /* null if it cannot be loaded */
  void (*FreeResource)(C4DResource* res, bool flag);
  /* Text id of the resource's string table; EmptyString() when absent. Borrowed. */
  const C4DString* (*LoadString)(const C4DResource* res, int32_t id);
  /* Registers the description resource `name` of res for plug-in id. */
  bool (*RegisterDescription)(int32_t id, const C4DString* name, const C4DResource* res);
  /* Registers a plug-in of type C4D_PLUGINTYPE_*; record is the type's record
   * (C4DShaderPluginRecord), copied by the host; version is the module's declared
   * interface version. */
  bool (*RegisterPlugin)(int32_t type, int32_t id, const C4DString* name, const void* record,
                         int32_t recordSize, int32_t version);
} C4DRegistrySuite1;

/** What the host hands the module with c4d_main action 1. */
typedef struct C4DHostInterface {
  int32_t version; /* first field, always: the host's interface version */
  int32_t reserved;
  const C4DMemorySuite1* memory;
  const C4DTextSuite1* text;
  const C4DContainerSuite1* container;
  const C4DNodeSuite1* node;
  const C4DCustomDataSuite1* customData;
  const C4DRenderSuite1* render;
  const C4DBitmapSuite1* bitmap;
  const C4DRegistrySuite1* registry;
} C4DHostInterface;

/* ---------------------------------------------------------------------------------
 * Module -> host: the shader plug-in record filled at registration
 * ------------------------------------------------------------------------------- */
typedef struct C4DShaderPluginRecord {
  int32_t size; /* sizeof(C4DShaderPluginRecord) */
  int32_t info; /* plug-in info flags */
  int32_t diskLevel;
  int32_t reserved;
  C4DNodeData* (*Alloc)(void);           /* null when out of memory */
  void (*Free)(C4DNodeData* data);       /* destroys and releases an instance */
  bool (*Init)(C4DNodeData* data, C4DNode* node);
  bool (*Message)(C4DNodeData* data, C4DNode* node, int32_t type, void* msgData);
  bool (*GetDEnabling)(C4DNodeData* data, C4DNode* node, const C4DDescID* id, const C4DValue* tData,
                       int32_t flags, const C4DContainer* itemdesc);
  int32_t (*InitRender)(C4DNodeData* data, C4DNode* shader, const C4DInitRenderStruct* irs);
  void (*FreeRender)(C4DNodeData* data, C4DNode* shader);
  void (*Output)(const C4DNodeData* data, C4DNode* shader, C4DChannelData* cd, C4DVector* out);
  int32_t (*GetRenderInfo)(C4DNodeData* data, C4DNode* shader);
} C4DShaderPluginRecord;

/* ---------------------------------------------------------------------------------
 * The exported module record g_maxon and load-time registration
 * ------------------------------------------------------------------------------- */

/** One framework declaration that a unit's SDK headers refer to. */
typedef struct C4DDeclarationRecord {
  const char* framework;  /* e.g. "net.maxon.core.framework" */
  const char* name;       /* the declaration, e.g. "BaseArray" */
  struct C4DDeclarationRecord* next;
} C4DDeclarationRecord;

/** One dependency of the module on a framework. */
typedef struct C4DDependencyRecord {
  const char* framework;
  struct C4DDependencyRecord* next;
} C4DDependencyRecord;

/** One unit (source file) of the module. */
typedef struct C4DUnitRecord {
  const char* name; /* the source file's name */
  C4DDeclarationRecord* declarations;
  const char* moduleId;               /* set on the unit that carries the module entity */
  C4DDependencyRecord* dependencies;  /* likewise */
  struct C4DUnitRecord* next;
} C4DUnitRecord;

/** The module-information record, exported as g_maxon. */
typedef struct C4DModuleInfo {
  int64_t version; /* C4D_MODULEINFO_VERSION once loaded */
  C4DUnitRecord* units; /* linked by the module's static initialisers */
  /* Filled by the host after loading, before the first c4d_main call. */
  const C4DMemorySuite1* memory;
  void* hostReserved[5];
} C4DModuleInfo;

/** The module's entry function, exported as c4d_main. */
typedef int32_t (*C4DMainFunction)(int32_t action, void* p1, void* p2, void* p3);

/** c4d_main actions. */
#define C4D_ACTION_SYSTEM_START 1 /* p1: C4DHostInterface*, p3: C4DFilename* of the module */
#define C4D_ACTION_START 2
#define C4D_ACTION_END 3
#define C4D_ACTION_QUERY 4
#define C4D_ACTION_MESSAGE 6 /* p1: message number (low 32 bits), p2: data */
#define C4D_MSG_PLUGINMESSAGE_0 0
#define C4D_MSG_LOAD_RESOURCE 1

/* ---------------------------------------------------------------------------------
 * Frozen layout
 * ------------------------------------------------------------------------------- */
#ifdef __cplusplus
#define C4D_ABI_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define C4D_ABI_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

C4D_ABI_ASSERT(sizeof(void*) == 8, "64-bit only");
C4D_ABI_ASSERT(sizeof(bool) == 1, "bool is one byte");
C4D_ABI_ASSERT(sizeof(C4DVector) == 24, "C4DVector");
C4D_ABI_ASSERT(sizeof(C4DValue) == 32 && offsetof(C4DValue, u) == 8, "C4DValue");
C4D_ABI_ASSERT(sizeof(C4DDescID) == 88, "C4DDescID");
C4D_ABI_ASSERT(sizeof(C4DGradientKnot) == 56 && offsetof(C4DGradientKnot, index) == 48, "C4DGradientKnot");
C4D_ABI_ASSERT(sizeof(C4DRay) == 64, "C4DRay");
C4D_ABI_ASSERT(sizeof(C4DRayHitID) == 16, "C4DRayHitID");
C4D_ABI_ASSERT(offsetof(C4DVolumeData, ray) == 120 && offsetof(C4DVolumeData, lhit) == 184 &&
                   offsetof(C4DVolumeData, context) == 216 && sizeof(C4DVolumeData) == 224,
               "C4DVolumeData");
C4D_ABI_ASSERT(offsetof(C4DChannelData, vd) == 96 && sizeof(C4DChannelData) == 104, "C4DChannelData");
C4D_ABI_ASSERT(sizeof(C4DInitRenderStruct) == 24, "C4DInitRenderStruct");
C4D_ABI_ASSERT(sizeof(C4DIconData) == 32, "C4DIconData");
C4D_ABI_ASSERT(sizeof(C4DMemorySuite1) == 16, "C4DMemorySuite1");
C4D_ABI_ASSERT(sizeof(C4DTextSuite1) == 16 * 8, "C4DTextSuite1");
C4D_ABI_ASSERT(sizeof(C4DContainerSuite1) == 4 * 8, "C4DContainerSuite1");
C4D_ABI_ASSERT(sizeof(C4DNodeSuite1) == 7 * 8, "C4DNodeSuite1");
C4D_ABI_ASSERT(sizeof(C4DCustomDataSuite1) == 13 * 8, "C4DCustomDataSuite1");
C4D_ABI_ASSERT(sizeof(C4DRenderSuite1) == 6 * 8, "C4DRenderSuite1");
C4D_ABI_ASSERT(sizeof(C4DBitmapSuite1) == 8 * 8, "C4DBitmapSuite1");
C4D_ABI_ASSERT(sizeof(C4DRegistrySuite1) == 6 * 8, "C4DRegistrySuite1");
C4D_ABI_ASSERT(offsetof(C4DHostInterface, memory) == 8 && sizeof(C4DHostInterface) == 72, "C4DHostInterface");
C4D_ABI_ASSERT(offsetof(C4DShaderPluginRecord, Alloc) == 16 && sizeof(C4DShaderPluginRecord) == 16 + 9 * 8,
               "C4DShaderPluginRecord");
C4D_ABI_ASSERT(offsetof(C4DModuleInfo, memory) == 16 && sizeof(C4DModuleInfo) == 64, "C4DModuleInfo");

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* C4D_HOST_ABI_H__ */
