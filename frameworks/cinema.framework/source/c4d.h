// c4d.h - the whole SDK for plug-in sources.
#pragma once

#include "c4d_basebitmap.h"
#include "c4d_basecontainer.h"
#include "c4d_baselist.h"
#include "c4d_enums.h"
#include "c4d_file.h"
#include "c4d_general.h"
#include "c4d_gradient.h"
#include "c4d_inexclude.h"
#include "c4d_nodedata.h"
#include "c4d_plugin.h"
#include "c4d_raytrace.h"
#include "c4d_resource.h"
#include "maxon/apibase.h"
#include "maxon/basearray.h"
#include "maxon/string.h"
#include "maxon/vec.h"
