#pragma once
// Panelwright: the configuration window. The engine finds this library through the
// "ConfHost" value of the product's "ConfigPlugins" list and calls Configure.
#include "platform/export.h"

// Opens the configuration window for the desktop user and returns when the user has
// closed it (or at once when no window can be shown). Always 1.
TESS_API int Configure(int userId);
