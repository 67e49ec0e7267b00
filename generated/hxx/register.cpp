// register.cpp - the module entity of this module and the frameworks it uses.
#include "maxon/module.h"

MAXON_MODULE("io.corvane.corvane");

MAXON_DEPENDENCY("net.maxon.c4d.cinema.framework");
MAXON_DEPENDENCY("net.maxon.command.framework");
MAXON_DEPENDENCY("net.maxon.core.framework");
MAXON_DEPENDENCY("net.maxon.crypt.framework");
MAXON_DEPENDENCY("net.maxon.geom.framework");
MAXON_DEPENDENCY("net.maxon.image.framework");
MAXON_DEPENDENCY("net.maxon.math.framework");
MAXON_DEPENDENCY("net.maxon.mesh_misc.framework");
MAXON_DEPENDENCY("net.maxon.python.framework");
