// Fontconfig keeps its configuration until the process ends (Qt never calls FcFini); that is
// not a leak of ours, so LeakSanitizer is told to pass over it in the window's tests.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
