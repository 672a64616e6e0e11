// The target that owns the tests' precompiled header (cmake/tess.cmake); never run.
int main() { return 0; }
