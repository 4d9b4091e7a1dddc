// The one way every zelvar source includes the interpreter's headers.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

// The interpreter's non-public parts read directly where it pays (a code object's fields, the type
// attribute cache's lookup) are checked against every CPython up to 3.15; a newer one, or a build
// with -DZELVAR_PRIVATE_API=0, takes the public paths beside them instead.
#ifndef ZELVAR_PRIVATE_API
#define ZELVAR_PRIVATE_API (PY_VERSION_HEX < 0x03100000)
#endif
