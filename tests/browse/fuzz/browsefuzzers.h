#ifndef KELVORA_TEST_BROWSEFUZZERS_H
#define KELVORA_TEST_BROWSEFUZZERS_H

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// One check per parser of the device's file replies; each traps when an invariant breaks. The
// fuzzer builds wrap them in LLVMFuzzerTestOneInput, the corpus replay test calls them directly.
void fuzzQueryDir(const QByteArray &input);
void fuzzFileList(const QByteArray &input);
void fuzzDelFileEx(const QByteArray &input);

#ifdef KELVORA_FUZZ_ENTRY
#define KELVORA_FUZZ_TARGET(check)                                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)                        \
    {                                                                                              \
        check(QByteArray(reinterpret_cast<const char *>(data), int(size)));                        \
        return 0;                                                                                  \
    }
#else
#define KELVORA_FUZZ_TARGET(check)
#endif

#endif
