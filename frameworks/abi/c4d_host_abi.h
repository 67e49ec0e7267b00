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
 * Conventions for every suite function (each function's comment states its exceptions)
 *   - A null handle argument is answered as "absent": null, false, 0 or the default,
 *     never a crash. A null output pointer makes the call fail or do nothing, unless
 *     the comment says that it may be null.
 *   - Functions that return a new handle return null when the host is out of memory;
 *     the caller owns the handle and releases it with the matching release function.
 *   - "Borrowed" results stay valid until the object they came from changes or dies;
 *     the caller releases nothing.
 *   - Arguments are borrowed for the call: the host copies or retains what it keeps.
 *   - A handle released before, or a pointer that is not a handle of the expected kind,
 *     is not detected (unless the comment says so): passing one is undefined.
 *   - Outputs are written only on success, unless the comment says otherwise.
 *   - Booleans are C99 bool (one byte on every supported platform). No value narrower than
 *     8 bytes is passed on the stack: the macOS arm64 convention would place it elsewhere
 *     than the Linux and Windows ones (docs/arm64.md).
 *
 * Threads: every function's comment ends with one of
 *   [any]   any thread, concurrently with any call, also on the same handles.
 *   [read]  any thread, render threads included, concurrently with other [read] calls,
 *           while no thread changes the objects it reads. From a render's InitRender to
 *           its FreeRender the host changes nothing in the scene.
 *   [edit]  changes the objects it is given, without a lock: no other call may use them
 *           at the same time. The host runs c4d_main and every callback of
 *           C4DShaderPluginRecord but Output on one thread, one call at a time, so
 *           these may call [edit] functions; Output must not.
 *
 * How the interface grows without breaking built modules
 *   - A published suite never changes: no function is added, removed, reordered or
 *     retyped, and no contract below changes. A changed or extended service is a new
 *     struct with the next number (C4DTextSuite2), added as below; a host keeps
 *     serving the older suites beside it.
 *   - C4DHostInterface grows only at its end: each new suite is one pointer appended
 *     after the last field, and C4D_API_VERSION rises with it. No field is ever
 *     removed, reordered or reused, so every record begins with every older record.
 *   - The host's record carries its own C4D_API_VERSION and holds every field of that
 *     version. Every pointer up to C4D_API_VERSION_MIN is a valid suite, never null; a
 *     pointer appended later may be null where the host does not offer that service.
 *   - A module reads only the fields its own header declares, through the pointer it
 *     was given (it never copies the record by its own size), and accepts any version
 *     at or above C4D_API_VERSION_MIN: a later host's longer record serves it
 *     unchanged. Below C4D_API_VERSION_MIN action 1 answers -3. Before it uses a field
 *     appended after C4D_API_VERSION_MIN, a module checks the record's version (an
 *     older host's record ends before that field), then the pointer for null.
 *   - C4DShaderPluginRecord grows the same way, at its end: RegisterPlugin's
 *     recordSize says how much the module filled, and a host accepts the size of every
 *     published record (today: at least sizeof(C4DShaderPluginRecord); it copies that
 *     much and ignores the rest).
 *   - The plain structs and g_maxon are frozen (layout checks at the end); "reserved"
 *     fields have no meaning and readers ignore them. A changed struct is a new type,
 *     reached through a new suite version or record.
 *
 * Layout revisions
 *   The rules above hold from revision 2 on. Revision 2 made one change in place, before
 *   any module outside this source tree was built against the header: C4DVolumeData's
 *   eye ray became a pointer to the host's C4DRay (it was a C4DRay held by value), so
 *   that the module-side VolumeData has the SDK's shape, and IlluminateSurfacePoint takes
 *   its light as const. A module built against revision 1 reads every C4DVolumeData field
 *   after the normals wrongly; rebuild it.
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

/** Interface version of this header: a host's C4DHostInterface::version, and what a module
 * declares at RegisterPlugin. C4D_API_VERSION_MIN: the oldest host a module built from this
 * header accepts (action 1 answers -3 below it) and the oldest declared version a host
 * registers. */
#define C4D_API_VERSION 23100
#define C4D_API_VERSION_MIN 23100
/** Value of C4DModuleInfo::version once a module is loaded; the host refuses any other. */
#define C4D_MODULEINFO_VERSION 23004

/** Node type IDs. */
#define C4D_TYPE_LIGHT 5102     /* light object */
#define C4D_TYPE_CAMERA 5103    /* camera object */
#define C4D_TYPE_SHADER 5707    /* base shader: every shader is an instance of it */
#define C4D_TYPE_MATERIAL 5703  /* material */
#define C4D_TYPE_BASEMATERIAL 5702 /* base material: every material is an instance of it */
#define C4D_TYPE_OBJECT 5100    /* generic (geometry) object */
#define C4D_TYPE_BASEOBJECT 5155 /* base object: every object is an instance of it */

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
#define C4D_PLUGINTYPE_SHADER 2 /* record: C4DShaderPluginRecord */

/** Gradient settings and knot interpolations. */
#define C4D_GRADIENT_MODE 1002 /* setting: the gradient's mode; stored, lookups ignore it */
#define C4D_GRADIENT_INTERPOLATION_SMOOTH 2 /* smoothstep between knots; the default */
#define C4D_GRADIENT_INTERPOLATION_LINEAR 3 /* linear; so is every value but 2 and 5 */
#define C4D_GRADIENT_INTERPOLATION_STEP 5   /* the knot's colour up to the next knot */

/** Object state of GetDeformMode: the object's on/off switch. */
#define C4D_OBJECTSTATE_DEFORM 2

/** Shader information flags (GetRenderInfo). */
#define C4D_SHADERINFO_ALPHA_SUPPORT 32

/** Illumination flags, ray bits, render results. */
#define C4D_ILLUMINATEFLAGS_NONE 0
#define C4D_ILLUMINATEFLAGS_SHADOW 1 /* accepted; the host models no occlusion */
#define C4D_RAYBIT_NONE 0
#define C4D_INITRENDERRESULT_OK 0
#define C4D_INITRENDERRESULT_OUTOFMEMORY (-100)
#define C4D_INITRENDERRESULT_ASSETMISSING (-101)
#define C4D_INITRENDERRESULT_UNKNOWNERROR (-102)
#define C4D_INITRENDERRESULT_USERBREAK (-103)

/** Bitmap results. */
#define C4D_IMAGERESULT_OK 1
#define C4D_IMAGERESULT_NOTEXISTING (-1) /* no file name, or the file cannot be opened */
#define C4D_IMAGERESULT_WRONGTYPE (-2)   /* not a picture the host decodes (PNG), or damaged */
#define C4D_IMAGERESULT_OUTOFMEMORY (-3) /* too large, or memory ran out */

/* ---------------------------------------------------------------------------------
 * Opaque handles (declared, never defined on the module side)
 * ------------------------------------------------------------------------------- */
typedef struct C4DString C4DString;       /* reference-counted immutable text */
typedef struct C4DFilename C4DFilename;   /* reference-counted immutable path */
typedef struct C4DContainer C4DContainer; /* a node's parameters keyed by int32 IDs */
typedef struct C4DNode C4DNode;           /* any scene node: object, material, shader */
typedef struct C4DDocument C4DDocument;   /* a scene; owns its nodes */
typedef struct C4DGradient C4DGradient;   /* gradient custom data */
typedef struct C4DInExclude C4DInExclude; /* in/exclude list custom data */
typedef struct C4DRayLight C4DRayLight;   /* render-time snapshot of one light object */
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
  int32_t type; /* C4D_DTYPE_* or a custom data type ID; selects the member of u */
  int32_t reserved;
  union {
    int32_t i32;  /* LONG */
    double f;     /* REAL */
    C4DVector v;  /* VECTOR */
    void* handle; /* STRING, LINK, custom data: C4DString*, C4DNode*, C4DGradient*,
                     C4DInExclude*; may be null */
  } u;
} C4DValue;

/** One level of a parameter's description ID. */
typedef struct C4DDescLevel {
  int32_t id;      /* the parameter ID */
  int32_t dtype;   /* its value type (C4DValue::type); 0 when not known */
  int32_t creator; /* the plug-in that defines it; 0 when not known */
} C4DDescLevel;

/** A parameter's description ID: count levels, outermost first (1 for a plain parameter). */
#define C4D_DESCID_MAXLEVELS 7
typedef struct C4DDescID {
  int32_t count;
  C4DDescLevel levels[C4D_DESCID_MAXLEVELS];
} C4DDescID;

/** One gradient knot. Its colour is col x brightness. */
typedef struct C4DGradientKnot {
  C4DVector col;         /* linear RGB, unclamped */
  double brightness;     /* multiplies col */
  double pos;            /* position in [0, 1] (clamped when inserted) */
  double bias;           /* in (0, 1): the fraction of the way to the next knot where the
                            colour is half-way; 0.5 and values outside (0, 1) blend evenly */
  int32_t index;         /* the knot's own ID: kept as given, not its place in the gradient */
  int32_t interpolation; /* C4D_GRADIENT_INTERPOLATION_* towards the next knot */
} C4DGradientKnot;

typedef struct C4DRay {
  C4DVector p;       /* origin */
  C4DVector v;       /* unit direction */
  double ior;        /* refraction index of the medium the ray travels in */
  int32_t transport; /* kind of ray; the host fills 0 */
  int32_t reserved;
} C4DRay;

typedef struct C4DRayHitID {
  int32_t polygon;       /* the hit face or primitive of the object */
  int32_t reserved;
  const C4DNode* object; /* the hit object (borrowed) */
} C4DRayHitID;

/** What the renderer knows of one shading sample's surface point. The host's, valid for
 * one call of Output only. */
typedef struct C4DVolumeData {
  C4DVector p;      /* surface point (world) */
  C4DVector n;      /* phong normal (smoothed, unit) */
  C4DVector bumpn;  /* bump normal (unit) */
  C4DVector orign;  /* unsmoothed surface normal before phong and bump (unit) */
  C4DVector uvw;    /* texture coordinates */
  const C4DRay* ray; /* the eye ray that hit the point (the host's; never null) */
  C4DRayHitID lhit;  /* what was hit */
  double dist;      /* distance along the ray */
  int32_t thread;   /* render thread index, in [0, C4DInitRenderStruct::threadCount) */
  int32_t reserved;
  C4DRenderContext* context; /* host's render state; module never looks inside; may be null */
} C4DVolumeData;

/** Channel data of one sample, handed to a channel shader's Output. The caller's, valid
 * for the call only. */
typedef struct C4DChannelData {
  C4DVector p;       /* texture position (uvw) */
  C4DVector n;       /* normal */
  C4DVector d;       /* texture delta (filter size); 0 when not filtered */
  double t;          /* time in seconds */
  double off;        /* filter offset; 0 when not filtered */
  double scale;      /* filter scale; 0 when not filtered */
  C4DVolumeData* vd; /* null in previews and swatches that have no surface */
} C4DChannelData;

/** Render preparation data, borrowed for the InitRender call. */
typedef struct C4DInitRenderStruct {
  C4DDocument* doc;    /* the document being rendered; may be null */
  double time;         /* time of the render in seconds */
  int32_t threadCount; /* render threads that may run Output at once */
  int32_t reserved;
} C4DInitRenderStruct;

/** An icon as GetIcon reports it. */
typedef struct C4DIconData {
  C4DBitmap* bmp;     /* borrowed: the host keeps the icon's bitmap (see GetIcon) */
  int32_t x, y, w, h; /* the icon's region inside bmp */
  int32_t flags;      /* as registered */
  int32_t reserved;
} C4DIconData;

/* ---------------------------------------------------------------------------------
 * Service tables
 * ------------------------------------------------------------------------------- */

/** Framework memory: the module's only allocator (also in g_maxon.memory). */
typedef struct C4DMemorySuite1 {
  /* A new block of size bytes (0 allowed), aligned to max(alignment, 16); an alignment
   * above 16 must be a power of two. Null when out of memory or for another alignment.
   * The caller owns the block and releases it with Free. [any] */
  void* (*Alloc)(size_t size, size_t alignment);
  /* Releases a block of Alloc, once; null is ignored. The host also ignores a pointer it
   * does not recognise as a live block, but reads the bytes before it to tell. [any] */
  void (*Free)(void* block);
} C4DMemorySuite1;

/** Texts, file names and the console. Strings and file names are immutable, and their
 * reference counts atomic: every function here is [any]. */
typedef struct C4DTextSuite1 {
  /* Strings: a new handle starts with one reference, owned by the caller. */

  /* A new string of the length bytes at utf8 (taken as they are: not validated, no NUL
   * needed). A null utf8 gives a new empty string. Null only when out of memory. [any] */
  C4DString* (*StringFromUtf8)(const char* utf8, size_t length);
  /* Add or drop one reference; the last release destroys the string. Null and the
   * shared empty string are ignored. [any] */
  void (*StringRetain)(C4DString* s);
  void (*StringRelease)(C4DString* s);
  /* The string's bytes, NUL-terminated, and their count in *length (length may be null).
   * Borrowed: valid while the caller holds its reference. "" and 0 for null. [any] */
  const char* (*StringUtf8)(const C4DString* s, size_t* length);
  /* The host's shared empty text: never null, valid as long as the process; retaining or
   * releasing it does nothing. [any] */
  const C4DString* (*EmptyString)(void);

  /* File names: paths kept normalised ('\' becomes '/', runs of '/' become one, a
   * trailing '/' goes except at a root such as "/" or "C:/"). Every function that
   * answers a handle makes a new one with one reference, owned by the caller; null when
   * out of memory. */

  /* The path in the text of path ("" gives an empty file name); null for null. [any] */
  C4DFilename* (*FilenameFromString)(const C4DString* path);
  /* Add or drop one reference; the last release destroys it. Null is ignored. [any] */
  void (*FilenameRetain)(C4DFilename* f);
  void (*FilenameRelease)(C4DFilename* f);
  /* A new string holding the normalised path; null for null. [any] */
  C4DString* (*FilenameToString)(const C4DFilename* f);
  /* dir, '/', name. A null or empty side yields the other path; both null: null. [any] */
  C4DFilename* (*FilenameJoin)(const C4DFilename* dir, const C4DFilename* name);
  /* All but the last part ("" for a single part, a root stays a root); null for null. [any] */
  C4DFilename* (*FilenameDirectory)(const C4DFilename* f);
  /* The last part ("" for a root); null for null. [any] */
  C4DFilename* (*FilenameFile)(const C4DFilename* f);
  /* Without the last part's ".ext" (a leading dot is no suffix); null for null. [any] */
  C4DFilename* (*FilenameClearSuffix)(const C4DFilename* f);
  /* The normalised paths are equal byte for byte (case counts); null equals empty. [any] */
  bool (*FilenameEqual)(const C4DFilename* a, const C4DFilename* b);
  /* True for null and for an empty path. [any] */
  bool (*FilenameIsEmpty)(const C4DFilename* f);

  /* Console: writes line as one line (one trailing newline is dropped); the host keeps a
   * copy. A null line writes an empty line. [any] */
  void (*Print)(const C4DString* line);
} C4DTextSuite1;

/** Parameter containers. A container changes only through SetValue (and the host's own
 * edits); reads see it directly, without copies. */
typedef struct C4DContainerSuite1 {
  /* Copies the value at id into *out and answers true; out may be null (presence only).
   * Handles in *out are borrowed (strings are not retained): valid until the entry is
   * replaced or removed or the container dies. A link to a deleted node reads as type
   * LINK with a null handle; a stored value of a type the host does not model, as its
   * type with a null handle. False, and *out of type NONE, when c is null or id is
   * absent. [read] */
  bool (*GetValue)(const C4DContainer* c, int32_t id, C4DValue* out);
  /* Stores a copy of value at id, replacing the entry: strings are retained, custom data
   * is deep-copied, links are kept as weak references (a null handle stores an empty
   * link, a null string empty text). Type NONE removes the entry (true also when there
   * was none). The caller keeps value. False, container unchanged, when c or value is
   * null, the type is neither a C4D_DTYPE_* nor one of the two C4D_CUSTOMDATA_* types,
   * custom data has a null handle, or memory runs out. [edit] */
  bool (*SetValue)(C4DContainer* c, int32_t id, const C4DValue* value);
  /* The node linked at id if it is alive, belongs to doc and is an instance of
   * instanceType (0: any type); borrowed (its document owns it). Else null, also for a
   * null c or doc. [read] */
  C4DNode* (*GetLink)(const C4DContainer* c, int32_t id, const C4DDocument* doc, int32_t instanceType);
  /* The custom data stored at id if its type is type (C4D_CUSTOMDATA_GRADIENT or
   * C4D_CUSTOMDATA_INEXCLUDE; any other type: null): the container's own object, not a
   * copy. Borrowed, valid until the entry is replaced or removed or the container dies:
   * the caller may read and prepare it (GradientInitRender), never free it. Null when
   * absent or of another type. [read] */
  void* (*GetCustomData)(const C4DContainer* c, int32_t id, int32_t type);
} C4DContainerSuite1;

/** Nodes and documents. A document owns its nodes: node and document handles are
 * borrowed, valid until the node is deleted or its document destroyed. */
typedef struct C4DNodeSuite1 {
  /* The node's type ID (a plug-in shader's is its plug-in ID); 0 for null. [read] */
  int32_t (*GetType)(const C4DNode* node);
  /* True when type is the node's own type or a base type of it: every shader is a
   * C4D_TYPE_SHADER, every object a C4D_TYPE_BASEOBJECT, every geometry object a
   * C4D_TYPE_OBJECT, every material a C4D_TYPE_BASEMATERIAL. False for null. [read] */
  bool (*IsInstanceOf)(const C4DNode* node, int32_t type);
  /* The document that owns node; null for null. [read] */
  C4DDocument* (*GetDocument)(const C4DNode* node);
  /* The node's own parameters (borrowed, as long as the node lives); null for null. [read] */
  C4DContainer* (*GetDataInstance)(C4DNode* node);
  /* For state C4D_OBJECTSTATE_DEFORM: whether the object is switched on (the default).
   * False for other states, for nodes that are not objects and for null. [read] */
  bool (*GetDeformMode)(const C4DNode* object, int32_t state);
  /* Attaches shader below node: from then on deleting node deletes shader too (the
   * document keeps owning both). False, nothing changed, when either is null, shader is
   * not a shader, already has a parent, belongs to another document, or is node or one
   * of its ancestors. [edit] */
  bool (*InsertShader)(C4DNode* node, C4DNode* shader);
  /* Sends message type with data (passed on untouched; the C4D_MSG_* value says what it
   * points to) to the node's plug-in Message and answers its answer; true for host nodes
   * and plug-ins without Message. False for null, and without calling the plug-in when
   * the node is already handling a message on this thread (a link cycle) or messages
   * nest 64 deep. [edit] */
  bool (*Message)(C4DNode* node, int32_t type, void* data);
} C4DNodeSuite1;

/** Custom data: gradients and in/exclude lists. */
typedef struct C4DCustomDataSuite1 {
  /* A new gradient without knots (black everywhere) or settings, owned by the caller:
   * release it with GradientFree. Null when out of memory. [any] */
  C4DGradient* (*GradientAlloc)(void);
  /* Releases a gradient of GradientAlloc. Null, and a gradient that belongs to a
   * container (GetCustomData, GetValue), are ignored. [edit] */
  void (*GradientFree)(C4DGradient* g);
  /* Stores a copy of value as setting id (copied as SetValue copies; type NONE removes
   * it) and answers true. Settings are kept and copied with the gradient; lookups read
   * only the knots. False, settings unchanged, when g or value is null, the type is not
   * one SetValue stores, custom data has a null handle, or memory runs out. [edit] */
  bool (*GradientSetData)(C4DGradient* g, int32_t id, const C4DValue* value);
  /* Setting id into *out, as GetValue reads a container (borrowed handles, out may be
   * null); false and type NONE when g is null or id is absent. [read] */
  bool (*GradientGetData)(const C4DGradient* g, int32_t id, C4DValue* out);
  /* Inserts a copy of knot, its position clamped to [0, 1] (not a number: 0), after the
   * knots at or before that position, and answers its index (later knots move up by
   * one). -1 when g or knot is null or memory runs out. [edit] */
  int32_t (*GradientInsertKnot)(C4DGradient* g, const C4DGradientKnot* knot);
  /* Number of knots; 0 for null. [read] */
  int32_t (*GradientGetKnotCount)(const C4DGradient* g);
  /* Copies the knot at index (in position order) into *out. False when g or out is null or
   * index is out of range. [read] */
  bool (*GradientGetKnot)(const C4DGradient* g, int32_t index, C4DGradientKnot* out);
  /* Prepares the gradient for a render; irs is not read (may be null). True unless g is
   * null. Lookups work without it too; FreeRender ends it. [edit] */
  bool (*GradientInitRender)(C4DGradient* g, const C4DInitRenderStruct* irs);
  /* Ends the render preparation; null is ignored. [edit] */
  void (*GradientFreeRender)(C4DGradient* g);
  /* The colour at pos (clamped to [0, 1]; not a number: 0) into *out: between two knots
   * as the left knot's interpolation and bias say; before the first and after the last
   * knot their colour; black without knots or for a null g. Nothing for a null out.
   * Allocation-free. [read] */
  void (*GradientCalcPixel)(const C4DGradient* g, double pos, C4DVector* out);

  /* Number of entries, entries of deleted nodes included; 0 for null. [read] */
  int32_t (*InExcludeGetObjectCount)(const C4DInExclude* list);
  /* The node of entry index if it is alive and belongs to doc; borrowed. Null when list
   * or doc is null, index is out of range, or the node is deleted or in another
   * document. [read] */
  C4DNode* (*InExcludeObjectFromIndex)(const C4DInExclude* list, const C4DDocument* doc, int32_t index);
  /* The flags of entry index (their bits are the plug-in's); 0 for null or out of
   * range. [read] */
  int32_t (*InExcludeGetFlags)(const C4DInExclude* list, int32_t index);
} C4DCustomDataSuite1;

/** Rendering: lights, illumination and shader sampling. */
typedef struct C4DRenderSuite1 {
  /* A snapshot of lightObject's light parameters (later edits do not change it), owned
   * by the caller: release it with FreeRayLight; the host frees the ones left when doc
   * is destroyed. The object's on/off switch is not looked at. Null when doc or
   * lightObject is null, lightObject is not a live node of doc or not a light
   * (C4D_TYPE_LIGHT), or memory runs out. [read] */
  C4DRayLight* (*AllocRayLight)(C4DDocument* doc, C4DNode* lightObject);
  /* Releases a render light. Null and a light that is already freed (also one the host
   * freed with its document) are ignored. [any] */
  void (*FreeRayLight)(C4DRayLight* light);
  /* True when the light reaches p; then *col is the light's colour at p (colour x
   * brightness x falloff x spot cone, no surface cosine term) and *lv the unit vector
   * from p towards the light. p null: vd->p. The host models no occlusion: bumpn,
   * phongn, orign, rayVector, illuminateFlags, hitId, rayBits and cosineCutoff do not
   * change the answer, and *xshadow (may be null) is never written. False, outputs
   * untouched, when light, col or lv is null, there is no point (p and vd null), or the
   * light does not reach p (outside a spot's cone, beyond a linear falloff's radius, at
   * the light's own position, or no colour). Allocation-free; a light may be used by
   * many threads at once. The ninth and later arguments pass on the stack, where the
   * macOS arm64 convention packs values narrower than 8 bytes and Linux and Windows give
   * every argument 8 bytes: illuminateFlags, rayBits and cosineCutoff are therefore
   * passed 64 bits wide, so that every argument lies where the host reads it. Only their
   * low 32 bits (cosineCutoff: its low byte) are significant. [read] */
  bool (*IlluminateSurfacePoint)(const C4DVolumeData* vd, const C4DRayLight* light, C4DVector* col,
                                 C4DVector* lv, const C4DVector* p, const C4DVector* bumpn,
                                 const C4DVector* phongn, const C4DVector* orign,
                                 const C4DVector* rayVector, int64_t illuminateFlags,
                                 const C4DRayHitID* hitId, int64_t rayBits, int64_t cosineCutoff,
                                 C4DVector* xshadow);
  /* The shader's colour for the sample cd into *out: a plug-in shader's Output with this
   * cd (null passed on), a built-in shader's own. Black for a null or non-shader node,
   * a plug-in without Output, and when the shader is already being sampled on this
   * thread (a link cycle) or sampling nests 32 deep. Nothing for a null out. Prepare a
   * plug-in shader with ShaderInitRender first. [read] */
  void (*SampleShader)(C4DNode* shader, C4DChannelData* cd, C4DVector* out);
  /* Calls the plug-in shader's InitRender with irs (a zeroed struct for null) and answers
   * its C4D_INITRENDERRESULT_*. C4D_INITRENDERRESULT_OK without a call for a null or
   * non-shader node, built-in shaders, plug-ins without InitRender, and a shader already
   * being prepared on this thread (a link cycle) or 32 deep. [edit] */
  int32_t (*ShaderInitRender)(C4DNode* shader, const C4DInitRenderStruct* irs);
  /* Calls the plug-in shader's FreeRender; nothing in the cases ShaderInitRender answers
   * without a call. [edit] */
  void (*ShaderFreeRender)(C4DNode* shader);
} C4DRenderSuite1;

/** Bitmaps and icons. Pixels are 8-bit RGBA. A bitmap changes only through BitmapInit
 * and as ScaleIt's destination. */
typedef struct C4DBitmapSuite1 {
  /* A new empty (0 x 0) bitmap, owned by the caller: release it with BitmapFree. Null
   * when out of memory. [any] */
  C4DBitmap* (*BitmapAlloc)(void);
  /* Releases a bitmap of BitmapAlloc; null is ignored. An icon's bitmap (GetIcon) is the
   * host's: freeing it is undefined. [edit] */
  void (*BitmapFree)(C4DBitmap* bmp);
  /* Loads the picture in file (PNG) into bmp: its size and pixels replace bmp's. frame
   * is not used (single pictures only); *isMovie (may be null) is set to false. Answers
   * C4D_IMAGERESULT_OK; NOTEXISTING for a null file or one that cannot be opened;
   * WRONGTYPE for a null bmp, an empty, damaged or non-PNG file or a side above 16384;
   * OUTOFMEMORY above 2^26 pixels or when memory runs out. bmp is unchanged on failure.
   * [edit] */
  int32_t (*BitmapInit)(C4DBitmap* bmp, const C4DFilename* file, int32_t frame, bool* isMovie);
  /* Scales all of src onto all of dst; dst keeps its size (the aspect follows dst).
   * sample true filters (box averaging where a direction shrinks, bilinear where it
   * grows); false picks the nearest pixel. intensity scales the colour channels by
   * intensity / 256 (clamped to 0..256: 256 unchanged, 0 black); alpha is kept.
   * nonProportional is not used: the whole source always fills the whole destination.
   * Nothing happens when src or dst is null or empty, or both are one bitmap. dst [edit],
   * src [read]. */
  void (*BitmapScaleIt)(const C4DBitmap* src, C4DBitmap* dst, int32_t intensity, bool sample, bool nonProportional);
  /* Size in pixels; 0 for null or an empty bitmap. [read] */
  int32_t (*BitmapGetWidth)(const C4DBitmap* bmp);
  int32_t (*BitmapGetHeight)(const C4DBitmap* bmp);

  /* Reads file now and registers its region (x, y, w, h) as icon id: the host makes the
   * icon its own w x h bitmap (parts of the region outside the picture are transparent
   * black) and keeps it, with flags, until the host's session ends. False, nothing
   * registered and no console line, when file is null, w or h is not in 1..65536, the
   * file cannot be read as a picture (as BitmapInit), or id is registered already (the
   * first icon stays). [any] */
  bool (*RegisterIcon)(int32_t id, const C4DFilename* file, int32_t x, int32_t y, int32_t w, int32_t h, int32_t flags);
  /* Fills *out with icon id: bmp is the icon's own bitmap, borrowed until the host's
   * session ends; the caller may draw into it (ScaleIt's dst), never free it. x, y, w,
   * h are the icon's region in bmp (0, 0 and the registered size). False, *out
   * untouched, when out is null or no icon id is registered. [any] */
  bool (*GetIcon)(int32_t id, C4DIconData* out);
} C4DBitmapSuite1;

/** Resources and plug-in registration. */
typedef struct C4DRegistrySuite1 {
  /* A new file name of the host application's start-up folder, owned by the caller. Null
   * when out of memory. [any] */
  C4DFilename* (*GetStartupPath)(void);
  /* Loads the resource folder: its text IDs (c4d_symbols.h) and texts
   * (strings_en-US/c4d_strings.str). The caller owns the result and releases it with
   * FreeResource. Null when folder is null or empty, the folder or a file is missing or
   * broken (the host then prints one console line naming file, line and cause), or
   * memory runs out. [any] */
  C4DResource* (*LoadResource)(const C4DFilename* folder);
  /* Releases a resource of LoadResource, and with it every text LoadString answered; null
   * is ignored. flag is the module's own "initialised" flag, handed back with the handle:
   * it changes nothing. A resource must be released once: a second release is not
   * detected. [edit] */
  void (*FreeResource)(C4DResource* res, bool flag);
  /* Text id of the resource's string table; EmptyString() when res is null or has no
   * text id; never null. Borrowed: valid until res is released. [read] */
  const C4DString* (*LoadString)(const C4DResource* res, int32_t id);
  /* Reads the description name (not a path; its files in lower case: description/<name>.h
   * and .res, strings_en-US/description/<name>.str) from res's folder now, and
   * registers it for plug-in id, replacing an earlier one; the host keeps its own copy,
   * so res may be released afterwards. False, and one console line naming file, line
   * and cause, when res is null, name is empty or not a plain name, or a file is missing
   * or broken; an earlier registration then stays. It does not need the plug-in to be
   * registered and stays when RegisterPlugin fails. [read] */
  bool (*RegisterDescription)(int32_t id, const C4DString* name, const C4DResource* res);
  /* Registers a plug-in of type C4D_PLUGINTYPE_* under id and name (null: empty name).
   * record is the type's record (C4DShaderPluginRecord) and recordSize its size as the
   * module filled it; version is the interface version the module was built against.
   * The host copies the record's first sizeof(C4DShaderPluginRecord) bytes and the
   * name's text; the caller keeps both. The registration lasts as long as the host's
   * session. False, nothing registered, when the host has no session, type is not
   * C4D_PLUGINTYPE_SHADER, record is null, recordSize is below
   * sizeof(C4DShaderPluginRecord), version is below C4D_API_VERSION_MIN, id is not
   * positive or is registered already, or the record lacks Alloc or Free. Only from
   * c4d_main. [edit] */
  bool (*RegisterPlugin)(int32_t type, int32_t id, const C4DString* name, const void* record,
                         int32_t recordSize, int32_t version);
} C4DRegistrySuite1;

/** What the host hands the module with c4d_main action 1: read-only for the module, valid
 * and unchanged until its last action 3 has returned. Every pointer below is a valid
 * suite, never null. Grows only at its end (see "How the interface grows" above). */
typedef struct C4DHostInterface {
  int32_t version; /* first field, always: the host's interface version */
  int32_t reserved;
  const C4DMemorySuite1* memory; /* the same table as g_maxon.memory */
  const C4DTextSuite1* text;
  const C4DContainerSuite1* container;
  const C4DNodeSuite1* node;
  const C4DCustomDataSuite1* customData;
  const C4DRenderSuite1* render;
  const C4DBitmapSuite1* bitmap;
  const C4DRegistrySuite1* registry;
  /* Later versions append their suites here. */
} C4DHostInterface;

/* ---------------------------------------------------------------------------------
 * Module -> host: the shader plug-in record filled at registration
 *
 * The host copies the record at RegisterPlugin and calls an instance only through it,
 * always with the instance's own node; node, shader and the structs passed are borrowed
 * for the call. Alloc and Free are required; every other callback may be null, and then
 * the host answers as its comment says. The functions stay callable until the module's
 * last action 3. Every callback but Output runs on the host's editing thread, one call
 * at a time.
 * ------------------------------------------------------------------------------- */
typedef struct C4DShaderPluginRecord {
  int32_t size;      /* sizeof(C4DShaderPluginRecord); the host reads recordSize instead */
  int32_t info;      /* plug-in info flags; kept, not used by the host */
  int32_t diskLevel; /* version level of the instances' stored data; kept, not used */
  int32_t reserved;
  /* A new instance, the host's until it calls Free; null when out of memory (the host
   * then makes no node). */
  C4DNodeData* (*Alloc)(void);
  /* Destroys an instance: once for every instance Alloc answered, when Init fails, when
   * its node is deleted or its document destroyed, and before the module's last action
   * 3. The document's render lights may already be freed then (FreeRayLight ignores
   * them). */
  void (*Free)(C4DNodeData* data);
  /* Once, right after Alloc, with the new node, whose parameters are still empty: writes
   * the defaults. False: the host deletes the node again (calling Free). Null: true. */
  bool (*Init)(C4DNodeData* data, C4DNode* node);
  /* A message sent to node (the node suite's Message), msgData as sent; the answer goes
   * back to the sender. Null: true. */
  bool (*Message)(C4DNodeData* data, C4DNode* node, int32_t type, void* msgData);
  /* True when the parameter id may be edited. tData is the value to judge (type NONE
   * when the host offers none), flags come from the host, itemdesc is the parameter's
   * description element (may be null). Null: true. */
  bool (*GetDEnabling)(C4DNodeData* data, C4DNode* node, const C4DDescID* id, const C4DValue* tData,
                       int32_t flags, const C4DContainer* itemdesc);
  /* Render preparation, before the render's first Output and never while Output runs on
   * the instance; irs is never null. Answers a C4D_INITRENDERRESULT_*, which goes back to
   * ShaderInitRender's caller. The host does not pair InitRender and FreeRender strictly:
   * either may come alone or twice. Null: OK. */
  int32_t (*InitRender)(C4DNodeData* data, C4DNode* shader, const C4DInitRenderStruct* irs);
  /* Render release, after the render's last Output. Null: nothing. */
  void (*FreeRender)(C4DNodeData* data, C4DNode* shader);
  /* The shader's colour for one sample into *out (never null, black beforehand). Runs on
   * render threads, many at once on one instance, so it changes nothing in the instance;
   * the host calls it between InitRender and FreeRender, but a caller of SampleShader may
   * sample an unprepared instance too. cd is the caller's and may be null (the renderer
   * always passes one); cd->vd is null without a surface. Null: black. */
  void (*Output)(const C4DNodeData* data, C4DNode* shader, C4DChannelData* cd, C4DVector* out);
  /* The shader's C4D_SHADERINFO_* flags. Null: 0. */
  int32_t (*GetRenderInfo)(C4DNodeData* data, C4DNode* shader);
} C4DShaderPluginRecord;

/* ---------------------------------------------------------------------------------
 * The exported module record g_maxon and load-time registration
 *
 * The module's static initialisers link these records (the module's static data, strings
 * NUL-terminated); the host reads them once when it loads the module and copies what it
 * keeps, following each list for a bounded number of entries and characters.
 * ------------------------------------------------------------------------------- */

/** One framework declaration that a unit's SDK headers refer to. */
typedef struct C4DDeclarationRecord {
  const char* framework;  /* e.g. "net.maxon.core.framework" */
  const char* name;       /* the declaration, e.g. "BaseArray" */
  struct C4DDeclarationRecord* next;
} C4DDeclarationRecord;

/** One dependency of the module on a framework. */
typedef struct C4DDependencyRecord {
  const char* framework; /* the framework's identifier */
  struct C4DDependencyRecord* next;
} C4DDependencyRecord;

/** One unit (source file) of the module. */
typedef struct C4DUnitRecord {
  const char* name; /* the source file's name */
  C4DDeclarationRecord* declarations;
  const char* moduleId;               /* set on the one unit that carries the module entity */
  C4DDependencyRecord* dependencies;  /* likewise: the module's frameworks, in order */
  struct C4DUnitRecord* next;
} C4DUnitRecord;

/** The module-information record, exported as g_maxon. The host refuses a module whose
 * version is not C4D_MODULEINFO_VERSION. */
typedef struct C4DModuleInfo {
  int64_t version;      /* C4D_MODULEINFO_VERSION once loaded */
  C4DUnitRecord* units; /* linked by the module's static initialisers */
  /* Filled by the host after loading, before the first c4d_main call; valid as long as
   * the module is loaded. */
  const C4DMemorySuite1* memory;
  void* hostReserved[5]; /* zero; the host does not use them */
} C4DModuleInfo;

/** The module's entry function, exported as c4d_main: action is a C4D_ACTION_*; p1 to p3
 * mean what the action says (the others are null and not read). Any other action answers
 * -1. The host calls it on one thread, one call at a time, never while a callback of the
 * module's plug-ins runs. */
typedef int32_t (*C4DMainFunction)(int32_t action, void* p1, void* p2, void* p3);

/** c4d_main actions. The host sends action 1, message 1, action 2 (also when message 1
 * failed), and at the end action 3. Each action 1 raises the module's usage count and each action 3 lowers it: only the
 * action 1 that raises it to 1 sets up (later ones only count and answer 1), only the
 * action 3 that brings it back to 0 tears down. Every action 1, refused or not, is
 * matched by one action 3. */
/* System start. p1: the C4DHostInterface (borrowed until the last action 3 returns); p3:
 * the module file's C4DFilename (borrowed for the call; the module retains what it
 * keeps). 1: started. -3: refused (p1 null, its version below C4D_API_VERSION_MIN, or p3
 * null); the host then sends nothing but action 3. */
#define C4D_ACTION_SYSTEM_START 1
/* Start: the module registers its plug-ins. 1: done; 0: failed (what it registered stays
 * registered, and the module stays loaded). */
#define C4D_ACTION_START 2
/* End. The last one releases everything the module holds from the host (resources,
 * strings, file names, memory); after it returns the module calls the host no more and
 * may be unloaded. The host sends it only when every instance of the module's plug-ins is
 * freed. Answers 1 (also when the count was 0 already: nothing is torn down then). */
#define C4D_ACTION_END 3
/* Query: answers 5 and does nothing. */
#define C4D_ACTION_QUERY 4
/* Message. p1: the message number (C4D_MSG_*) in its low 32 bits; p2: its data. 1:
 * handled; -1: failed or not a message the module handles. */
#define C4D_ACTION_MESSAGE 6
/* Message numbers. */
#define C4D_MSG_PLUGINMESSAGE_0 0 /* no data; nothing to do: answers 1 */
/* No data. Loads the module's resource folder, once: a later one answers as the first
 * (-1 and a console line when it could not be loaded). Sent after action 1, before 2. */
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
C4D_ABI_ASSERT(offsetof(C4DVolumeData, ray) == 120 && offsetof(C4DVolumeData, lhit) == 128 &&
                   offsetof(C4DVolumeData, context) == 160 && sizeof(C4DVolumeData) == 168,
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
