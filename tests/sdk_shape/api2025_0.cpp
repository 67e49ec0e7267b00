// The 2025.0 SDK (API_VERSION 2024900) is the first with the Cinema API in namespace
// cinema, though its version number still counts in 2024: the stand-in compiled at 2024900
// rejects the global-namespace forms the real 2025.0 SDK rejects.
#include "c4d.h"

static_assert(API_VERSION == 2024900, "the 2025.0 SDK's API version");

#if SHAPE_CASE == 1
// 1. The Cinema API is not at global scope.
::BaseContainer* Global();
#elif SHAPE_CASE == 2
// 2. Nor found without the namespace.
BaseContainer* Unqualified();
#elif SHAPE_CASE == 3
// 3. The module's start is declared in the namespace, not at global scope.
Bool PluginStartCaller() { return ::PluginStart(); }
#else
// The plug-in's form: one using-directive, after naming the namespace.
namespace cinema {}
using namespace cinema;
BaseContainer* Found();
Bool PluginStartCaller() { return cinema::PluginStart(); }
#endif
