#pragma once
// Symbols are hidden by default; only what a module's public header marks with
// TESS_EXPORT leaves the shared library. C exports keep undecorated names.
#define TESS_EXPORT __attribute__((visibility("default")))
#ifdef __cplusplus
#define TESS_EXTERN_C extern "C"
#else
#define TESS_EXTERN_C
#endif
#define TESS_API TESS_EXTERN_C TESS_EXPORT
