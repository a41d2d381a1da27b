// Under the leak checker: the font configuration library that the PDF
// report loads keeps its caches until the process ends; not a leak of ours.
// Everything else is still checked. (Read by the sanitizer runtime; unused
// in other builds.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
