// The desktop's font library keeps allocations for the life of the process; the leak checker of the
// sanitizer build must not count them against us.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
