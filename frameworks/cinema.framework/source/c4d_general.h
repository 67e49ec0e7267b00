// c4d_general.h - console output and the module's folders.
#pragma once

#include "c4d_apiversion.h"
#include "c4d_file.h"
#include "maxon/apibase.h"
#include "maxon/string.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GePrint)
MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", GeGetPluginPath)

CINEMA_NAMESPACE_BEGIN

/// Writes str as one line to the host's console.
void GePrint(const maxon::String& str);

/// The folder that holds the module file; empty when the host gave no module path.
Filename GeGetPluginPath();

/// The module's resource folder: `res` inside the plug-in folder, or, for a module that
/// lies in a folder directly inside the host's start-up folder, the start-up folder's
/// resource/modules/<module file name without extension>.
Filename GeGetPluginResourcePath();

/// The host application's start-up folder.
Filename GeGetStartupPath();

CINEMA_NAMESPACE_END
