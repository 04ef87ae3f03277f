// Qt 5's JSON parser leaks a few bytes on some malformed documents (repeated keys); that is
// Qt's own and not what these fuzzers look for.
#ifdef KELVORA_FUZZ_ENTRY
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libQt5Core.so\n";
}
#endif
