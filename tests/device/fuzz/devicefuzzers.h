#ifndef KELVORA_TEST_DEVICEFUZZERS_H
#define KELVORA_TEST_DEVICEFUZZERS_H

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>

// One check per parser of outside input; each traps when an invariant breaks. The fuzzer
// builds wrap them in LLVMFuzzerTestOneInput, the corpus replay test calls them directly.
void fuzzBoundDeviceReply(const QByteArray &input);
void fuzzDiscoveryAnswer(const QByteArray &input);
void fuzzUsbInfo(const QByteArray &input);

// One plain file-name component on any system: printable ASCII without separators, not "."
// or "..", no trailing dot, no reserved device name, at most 120 characters.
inline bool isSafePathComponent(const QString &name)
{
    static const QRegularExpression safe(
        QStringLiteral(
            R"(^(?!(con|prn|aux|nul|com[1-9]|lpt[1-9])$)(?!.*\.$)[!-.0-9;-\[\]-~]{1,120}$)"),
        QRegularExpression::CaseInsensitiveOption);
    return safe.match(name).hasMatch();
}

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
