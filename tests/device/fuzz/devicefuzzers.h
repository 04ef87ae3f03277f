#ifndef KELVORA_TEST_DEVICEFUZZERS_H
#define KELVORA_TEST_DEVICEFUZZERS_H

#include <cstddef>
#include <cstdint>

// One entry per parser of outside input; each traps when an invariant breaks. The fuzzer
// builds wrap them in LLVMFuzzerTestOneInput, the corpus replay test calls them directly.
int fuzzBoundDeviceReply(const uint8_t *data, size_t size);
int fuzzDiscoveryAnswer(const uint8_t *data, size_t size);
int fuzzUsbInfo(const uint8_t *data, size_t size);

#endif
