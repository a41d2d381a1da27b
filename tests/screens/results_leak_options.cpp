// Leak checking is off for the screen tests: Qt, fontconfig and the platform
// plugin keep caches until the process ends, which the checker would report
// as leaks. The test properties ask for this too, but a list-valued
// ENVIRONMENT given to gtest_discover_tests keeps only its first entry, so the
// binary says it itself. Only sanitizer builds ever call this.
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }
