#ifndef KELVORA_TEST_DEVICEFUZZERS_H
#define KELVORA_TEST_DEVICEFUZZERS_H

#include <QByteArray>
#include <cstddef>
#include <cstdint>

// One check per parser of outside input; each traps when an invariant breaks. The fuzzer
// builds wrap them in LLVMFuzzerTestOneInput, the corpus replay test calls them directly.
void fuzzBoundDeviceReply(const QByteArray &input);
void fuzzDiscoveryAnswer(const QByteArray &input);
void fuzzUsbInfo(const QByteArray &input);

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
