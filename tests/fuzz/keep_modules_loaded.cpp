// Linked into every fuzz target: libFuzzer reads the coverage counters of every module
// it has seen after the module is freed, so the module loader keeps modules mapped when
// this symbol is present (see LoadLibraryA in platform/core/module.cpp).
extern "C" __attribute__((visibility("default"))) const int TessKeepModulesLoaded = 1;
