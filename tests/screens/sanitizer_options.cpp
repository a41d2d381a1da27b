// Under the leak checker: the font configuration library keeps its caches
// until the process ends, and the D-Bus library (loaded on an X display)
// keeps a buffer of its connection; neither is a leak of ours. Everything
// else is still checked. (Read by the sanitizer runtime; unused in other
// builds.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n"
           "leak:libdbus-1.so\n";
}
