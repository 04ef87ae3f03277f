#ifndef KELVORA_TEST_FUZZERS_H
#define KELVORA_TEST_FUZZERS_H

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <cstddef>
#include <cstdint>

// One check per parser of outside input; each traps when an invariant breaks. With clang and
// KELVORA_FUZZ each becomes a libFuzzer target (LLVMFuzzerTestOneInput), and tst_fuzzcorpus
// replays corpus/<name>/ through them in every test run.
void fuzzBoundDeviceReply(const QByteArray &input);
void fuzzDiscoveryAnswer(const QByteArray &input);
void fuzzUsbInfo(const QByteArray &input);
void fuzzUntrustedJson(const QByteArray &input);
void fuzzDevicePath(const QByteArray &input);
void fuzzPasswordCipher(const QByteArray &input);
void fuzzStringConvert(const QByteArray &input);
void fuzzFlatJson(const QByteArray &input);
void fuzzEndpoints(const QByteArray &input);
void fuzzSyncConfig(const QByteArray &input);
void fuzzQueryDir(const QByteArray &input);
void fuzzFileList(const QByteArray &input);
void fuzzDelFileEx(const QByteArray &input);
void fuzzRealVideo(const QByteArray &input);
void fuzzContentRange(const QByteArray &input);
void fuzzSignInReply(const QByteArray &input);

// An invariant of the code under test; a failed one stops the fuzzer with the input in hand.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            __builtin_trap();                                                                      \
    } while (false)

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
