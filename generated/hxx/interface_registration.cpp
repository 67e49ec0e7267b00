// interface_registration.cpp - registration of the interfaces this module declares.
//
// The module declares no interfaces of its own, so this unit carries no registrations.
#include "maxon/module.h"
