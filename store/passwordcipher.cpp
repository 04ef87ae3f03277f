#include "store/passwordcipher.h"

#include <openssl/evp.h>

#include <memory>

const char *const PasswordCipher::defaultKey = "Qm7pVr2LxT9wKd4s";

namespace {

const char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const int blockSize = 16;
const int groupsPerLine = 19; // 76 characters

// Short keys are filled up to 16 bytes with bytes of value 16 - length.
bool makeKey(const QByteArray &text, unsigned char key[blockSize])
{
    if (text.size() > blockSize)
        return false;
    const unsigned char fill = static_cast<unsigned char>(blockSize - text.size());
    for (int i = 0; i < blockSize; ++i)
        key[i] = i < text.size() ? static_cast<unsigned char>(text.at(i)) : fill;
    return true;
}

struct CipherContextFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

// One ECB pass over the input; padding is added (encrypt) or checked and removed (decrypt) by
// OpenSSL's PKCS#7 handling. The output buffer is input + one block, the most EVP writes.
bool runCipher(bool encrypt, const QByteArray &in, const unsigned char key[blockSize],
               QByteArray *out)
{
    CipherContext ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        return false;
    if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key, nullptr, encrypt ? 1 : 0) !=
        1)
        return false;
    QByteArray buffer(in.size() + blockSize, '\0');
    auto *dst = reinterpret_cast<unsigned char *>(buffer.data());
    int written = 0;
    if (!in.isEmpty() &&
        EVP_CipherUpdate(ctx.get(), dst, &written,
                         reinterpret_cast<const unsigned char *>(in.constData()), in.size()) != 1)
        return false;
    int tail = 0;
    if (EVP_CipherFinal_ex(ctx.get(), dst + written, &tail) != 1)
        return false;
    buffer.truncate(written + tail);
    *out = buffer;
    return true;
}

int base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

} // namespace

QByteArray PasswordCipher::toFoldedBase64(const QByteArray &data)
{
    const auto *src = reinterpret_cast<const unsigned char *>(data.constData());
    const int fullGroups = data.size() / 3;
    QByteArray text;
    text.reserve((data.size() / 3 + 1) * 4 + (fullGroups / groupsPerLine + 1) * 2);
    for (int g = 0; g < fullGroups; ++g) {
        const unsigned v = (src[3 * g] << 16) | (src[3 * g + 1] << 8) | src[3 * g + 2];
        text.append(base64Alphabet[(v >> 18) & 63]);
        text.append(base64Alphabet[(v >> 12) & 63]);
        text.append(base64Alphabet[(v >> 6) & 63]);
        text.append(base64Alphabet[v & 63]);
        if ((g + 1) % groupsPerLine == 0)
            text.append("\r\n");
    }
    const int rest = data.size() - 3 * fullGroups;
    if (rest > 0) {
        const unsigned b0 = src[3 * fullGroups];
        const unsigned b1 = rest > 1 ? src[3 * fullGroups + 1] : 0;
        const unsigned v = (b0 << 16) | (b1 << 8);
        text.append(base64Alphabet[(v >> 18) & 63]);
        text.append(base64Alphabet[(v >> 12) & 63]);
        text.append(rest > 1 ? base64Alphabet[(v >> 6) & 63] : '=');
        text.append('=');
    }
    return text;
}

bool PasswordCipher::fromFoldedBase64(const QByteArray &text, QByteArray *data)
{
    QByteArray out;
    out.reserve(text.size() / 4 * 3 + 3);
    unsigned acc = 0;
    int count = 0; // sextets in the current group
    bool ended = false;
    for (const char c : text) {
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            // Only a group with two or three sextets may end early.
            if (!ended && count < 2)
                return false;
            if (!ended && count == 2)
                out.append(static_cast<char>(acc >> 4));
            else if (!ended && count == 3)
                out.append(static_cast<char>(acc >> 10)).append(static_cast<char>(acc >> 2));
            ended = true;
            continue;
        }
        const int v = base64Value(c);
        if (v < 0 || ended)
            return false;
        acc = (acc << 6) | static_cast<unsigned>(v);
        if (++count == 4) {
            out.append(static_cast<char>(acc >> 16))
                .append(static_cast<char>(acc >> 8))
                .append(static_cast<char>(acc));
            acc = 0;
            count = 0;
        }
    }
    if (!ended && count != 0)
        return false;
    *data = out;
    return true;
}

QByteArray PasswordCipher::encrypt(const QByteArray &password, const QByteArray &key)
{
    unsigned char k[blockSize];
    QByteArray cipher;
    if (!makeKey(key, k) || !runCipher(true, password, k, &cipher))
        return QByteArray();
    return toFoldedBase64(cipher);
}

bool PasswordCipher::decrypt(const QByteArray &stored, const QByteArray &key, QByteArray *password)
{
    unsigned char k[blockSize];
    QByteArray cipher;
    QByteArray plain;
    if (!makeKey(key, k) || !fromFoldedBase64(stored, &cipher))
        return false;
    if (cipher.isEmpty() || cipher.size() % blockSize != 0)
        return false;
    // Strict PKCS#7: stripping every trailing byte of value 1..16 would also eat password
    // characters such as a final tab or line feed.
    if (!runCipher(false, cipher, k, &plain))
        return false;
    const int zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    *password = plain;
    return true;
}

QByteArray PasswordCipher::decrypt(const QByteArray &stored, const QByteArray &key)
{
    QByteArray password;
    if (!decrypt(stored, key, &password))
        return QByteArray();
    return password;
}
