#pragma once
// Quillmere: the document translator plug-in. It turns word-processing, spreadsheet,
// presentation and graphics files into the handheld document format by handing them to
// the outside document viewer's desktop library; it converts nothing itself.
#include "platform/export.h"

// Writes 1; returns 0.
TESS_API int GetPlugInVersion(int* version);
// 0 with the handheld file's path in output (260 bytes); 4 when the viewer is too old;
// 5 when the translation failed; 0 with the output untouched when no viewer is installed.
TESS_API int TranslateFromOriginal(const char* source, char* output, void* context);
// Back to the original is not supported: 2.
TESS_API int TranslateToOriginal(const char* source, char* output, void* context);
