// c4d.h - the SDK for plug-in sources. The in/exclude list is not part of it: a plug-in
// that reads one includes customgui_inexclude.h itself.
#pragma once

#include "c4d_basebitmap.h"
#include "c4d_basecontainer.h"
#include "c4d_baselist.h"
#include "c4d_basetime.h"
#include "c4d_enums.h"
#include "c4d_file.h"
#include "c4d_general.h"
#include "c4d_nodedata.h"
#include "c4d_plugin.h"
#include "c4d_raytrace.h"
#include "c4d_resource.h"
#include "customgui_gradient.h"
#include "maxon/apibase.h"
#include "maxon/basearray.h"
#include "maxon/resultbase.h"
#include "maxon/string.h"
#include "maxon/vec.h"
