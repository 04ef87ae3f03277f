// AES-128-ECB + PKCS#7 + Base64 (CRLF after every 76 characters) for remembered passwords.
#ifndef PASSWORDCIPHER_H
#define PASSWORDCIPHER_H

#include <QByteArray>

class PasswordCipher
{
public:
    // The key of the stored texts in data.db; changing it makes every stored password unreadable.
    static const char *const defaultKey;

    // Stored text (ASCII) of the password bytes; empty only when the key is longer than 16
    // bytes or the cipher library fails.
    static QByteArray encrypt(const QByteArray &password, const QByteArray &key);

    // Password bytes of a stored text. A text that cannot come from encrypt (characters outside
    // the Base64 alphabet, a length that is not whole blocks, bad padding) gives an empty result.
    static QByteArray decrypt(const QByteArray &stored, const QByteArray &key);
    // As decrypt, telling a failed text apart from a stored empty password.
    static bool decrypt(const QByteArray &stored, const QByteArray &key, QByteArray *password);

    // Base64 with CRLF after every 76 characters produced by complete three-byte groups.
    static QByteArray toFoldedBase64(const QByteArray &data);
    // Strict decoder: CR and LF are skipped, '=' ends a group; false on anything else.
    static bool fromFoldedBase64(const QByteArray &text, QByteArray *data);
};

#endif // PASSWORDCIPHER_H
