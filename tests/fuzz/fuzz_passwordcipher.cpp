#include "fuzzers.h"

#include "store/passwordcipher.h"

namespace {

QByteArray beforeZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

} // namespace

// data.db is a file other programs (and people) can edit: any stored text deciphers without
// reading past its data, and what the cipher writes reads back.
void fuzzPasswordCipher(const QByteArray &input)
{
    const QByteArray key(PasswordCipher::defaultKey);
    QByteArray password;
    if (PasswordCipher::decrypt(input, key, &password)) {
        // A text that deciphers is one encrypt could have made, up to the first zero byte.
        FUZZ_CHECK(!password.contains('\0'));
        FUZZ_CHECK(PasswordCipher::decrypt(PasswordCipher::encrypt(password, key), key) ==
                   password);
    }
    QByteArray data;
    if (PasswordCipher::fromFoldedBase64(input, &data)) {
        QByteArray again;
        FUZZ_CHECK(PasswordCipher::fromFoldedBase64(PasswordCipher::toFoldedBase64(data), &again));
        FUZZ_CHECK(again == data);
    }
    // Both ways from the input as a password and as raw bytes, with a key of the input's
    // first bytes (short keys are filled up).
    const QByteArray stored = PasswordCipher::encrypt(input, key);
    FUZZ_CHECK(PasswordCipher::decrypt(stored, key) == beforeZero(input));
    const QByteArray shortKey = input.left(input.size() % 17);
    FUZZ_CHECK(PasswordCipher::decrypt(PasswordCipher::encrypt(input, shortKey), shortKey) ==
               beforeZero(input));
    QByteArray raw;
    FUZZ_CHECK(PasswordCipher::fromFoldedBase64(PasswordCipher::toFoldedBase64(input), &raw));
    FUZZ_CHECK(raw == input);
}

KELVORA_FUZZ_TARGET(fuzzPasswordCipher)
