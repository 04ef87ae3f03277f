// The stored-password cipher against the openssl command line, and its decoder against texts
// that encrypt never produces.
#include "store/passwordcipher.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QByteArray key("Qm7pVr2LxT9wKd4s");

// Raw cipher bytes from `openssl enc -aes-128-ecb -K <hex>` (PKCS#7 padding by default);
// a failed run gives a text that is never a whole number of blocks.
QByteArray opensslEncrypt(const QByteArray &plain, const QByteArray &keyBytes, bool noPad = false)
{
    QProcess p;
    QStringList args{"enc", "-aes-128-ecb", "-K", QString::fromLatin1(keyBytes.toHex())};
    if (noPad)
        args << "-nopad";
    p.start("openssl", args);
    if (!p.waitForStarted(-1))
        return "openssl did not start";
    p.write(plain);
    p.closeWriteChannel();
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return "openssl failed: " + p.readAllStandardError() + "!";
    return p.readAllStandardOutput();
}

// Base64 with CRLF after each 76 characters of complete three-byte groups.
QByteArray folded(const QByteArray &raw)
{
    const QByteArray b64 = raw.toBase64();
    const int completeChars = raw.size() / 3 * 4;
    QByteArray out;
    for (int i = 0; i < b64.size(); ++i) {
        out.append(b64.at(i));
        if ((i + 1) % 76 == 0 && i + 1 <= completeChars)
            out.append("\r\n");
    }
    return out;
}

QByteArray pattern(int n)
{
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char('a' + i % 26));
    return b;
}

} // namespace

class TestPasswordCipher : public QObject
{
    Q_OBJECT
private slots:
    void matchesOpenssl_data();
    void matchesOpenssl();
    void knownShapes();
    void deterministic();
    void shortKeyIsFilled();
    void longKeyRefused();
    void trailingControlCharactersKept();
    void zeroByteEndsPassword();
    void malformed_data();
    void malformed();
    void badPaddingRejected_data();
    void badPaddingRejected();
    void emptyPasswordTellsApartFromFailure();
    void randomInputNeverCrashes();
};

void TestPasswordCipher::matchesOpenssl_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("1") << QByteArray("x");
    QTest::newRow("15") << pattern(15);
    QTest::newRow("16") << pattern(16);
    QTest::newRow("17") << pattern(17);
    QTest::newRow("47") << pattern(47);
    QTest::newRow("48") << pattern(48);
    QTest::newRow("chinese") << QString::fromUtf8("密码测试ä€𝄞").toUtf8();
    QTest::newRow("quotes") << QByteArray("it's \"%1\" 100%");
    QTest::newRow("384 (fold before last group)") << pattern(384);
    QTest::newRow("900 (ends on a fold)") << pattern(900);
}

void TestPasswordCipher::matchesOpenssl()
{
    QFETCH(QByteArray, plain);
    const QByteArray raw = opensslEncrypt(plain, key);
    QVERIFY2(raw.size() == (plain.size() / 16 + 1) * 16, raw.constData());
    const QByteArray stored = PasswordCipher::encrypt(plain, key);
    QCOMPARE(stored, folded(raw));
    QCOMPARE(PasswordCipher::decrypt(stored, key), plain);
}

void TestPasswordCipher::knownShapes()
{
    const QByteArray empty = PasswordCipher::encrypt(QByteArray(), key);
    QCOMPARE(empty.size(), 24);
    QVERIFY(empty.endsWith("=="));
    QCOMPARE(QByteArray::fromBase64(empty).size(), 16);

    QCOMPARE(QByteArray::fromBase64(PasswordCipher::encrypt(pattern(15), key)).size(), 16);
    QCOMPARE(QByteArray::fromBase64(PasswordCipher::encrypt(pattern(16), key)).size(), 32);

    const QByteArray s47 = PasswordCipher::encrypt(pattern(47), key);
    QVERIFY(!s47.contains('\r') && !s47.contains('\n'));

    const QByteArray s48 = PasswordCipher::encrypt(pattern(48), key);
    QCOMPARE(s48.size(), 88 + 2);
    QCOMPARE(s48.indexOf("\r\n"), 76);
    QCOMPARE(s48.count('\n'), 1);
    QCOMPARE(PasswordCipher::decrypt(s48, key), pattern(48));

    // 912 cipher bytes are exactly 16 lines of complete groups: the last one ends in CRLF.
    const QByteArray s900 = PasswordCipher::encrypt(pattern(900), key);
    QVERIFY(s900.endsWith("\r\n"));
    QCOMPARE(s900.count('\n'), 16);
}

void TestPasswordCipher::deterministic()
{
    QCOMPARE(PasswordCipher::encrypt("secret", key), PasswordCipher::encrypt("secret", key));
    QVERIFY(PasswordCipher::encrypt("secret", key) != PasswordCipher::encrypt("secreT", key));
}

void TestPasswordCipher::shortKeyIsFilled()
{
    // "abc" becomes "abc" followed by thirteen bytes of value 13.
    const QByteArray filled = QByteArray("abc") + QByteArray(13, char(13));
    const QByteArray raw = opensslEncrypt("hello", filled);
    QCOMPARE(PasswordCipher::encrypt("hello", "abc"), folded(raw));
    QCOMPARE(PasswordCipher::decrypt(folded(raw), "abc"), QByteArray("hello"));
}

void TestPasswordCipher::longKeyRefused()
{
    QVERIFY(PasswordCipher::encrypt("hello", QByteArray(17, 'k')).isEmpty());
    QByteArray out("untouched");
    QVERIFY(
        !PasswordCipher::decrypt(PasswordCipher::encrypt("hello", key), QByteArray(17, 'k'), &out));
    QCOMPARE(out, QByteArray("untouched"));
}

void TestPasswordCipher::trailingControlCharactersKept()
{
    for (const QByteArray &pw : {QByteArray("pass\t"), QByteArray("pass\n"), QByteArray("abc\x01"),
                                 QByteArray("\x10\x10")}) {
        QCOMPARE(PasswordCipher::decrypt(PasswordCipher::encrypt(pw, key), key), pw);
    }
}

void TestPasswordCipher::zeroByteEndsPassword()
{
    const QByteArray pw("ab\0cd", 5);
    QCOMPARE(PasswordCipher::decrypt(PasswordCipher::encrypt(pw, key), key), QByteArray("ab"));
}

void TestPasswordCipher::malformed_data()
{
    QTest::addColumn<QByteArray>("stored");
    const QByteArray good = PasswordCipher::encrypt(pattern(20), key);
    const QByteArray raw = QByteArray::fromBase64(good);
    QTest::newRow("empty text") << QByteArray();
    QTest::newRow("only line breaks") << QByteArray("\r\n\r\n");
    QTest::newRow("character outside alphabet") << QByteArray("AAAA$AAA");
    QTest::newRow("blank inside") << QByteArray(good).insert(8, ' ');
    QTest::newRow("url-safe alphabet") << QByteArray("-_-_AAAAAAAAAAAAAAAAAA==");
    QTest::newRow("one sextet") << QByteArray("A");
    QTest::newRow("three sextets, no '='") << QByteArray("AAA");
    QTest::newRow("lone '='") << QByteArray("=");
    QTest::newRow("'=' after one sextet") << QByteArray("A===");
    QTest::newRow("data after '='") << QByteArray("AA==AAAA");
    QTest::newRow("15 bytes") << raw.left(15).toBase64();
    QTest::newRow("17 bytes") << raw.left(17).toBase64();
    QTest::newRow("31 bytes") << raw.left(31).toBase64();
    QTest::newRow("cut short") << good.left(good.size() - 6);
    QTest::newRow("NUL byte") << QByteArray("AAAA\0AAA", 8);
    QTest::newRow("non-ASCII") << QString::fromUtf8("密码").toUtf8();
}

void TestPasswordCipher::malformed()
{
    QFETCH(QByteArray, stored);
    QByteArray out("untouched");
    QVERIFY(!PasswordCipher::decrypt(stored, key, &out));
    QCOMPARE(out, QByteArray("untouched"));
    QVERIFY(PasswordCipher::decrypt(stored, key).isEmpty());
}

void TestPasswordCipher::badPaddingRejected_data()
{
    QTest::addColumn<QByteArray>("lastBlock");
    QTest::newRow("pad 0") << QByteArray(15, 'a') + char(0);
    QTest::newRow("pad 17") << QByteArray(15, 'a') + char(17);
    QTest::newRow("pad 255") << QByteArray(15, 'a') + char(255);
    QTest::newRow("mixed pad bytes") << QByteArray(13, 'a') + char(3) + char(2) + char(3);
    QTest::newRow("ascii end") << QByteArray(16, 'a');
}

void TestPasswordCipher::badPaddingRejected()
{
    QFETCH(QByteArray, lastBlock);
    const QByteArray raw = opensslEncrypt(QByteArray(16, 'p') + lastBlock, key, true);
    QCOMPARE(raw.size(), 32);
    QByteArray out("untouched");
    QVERIFY(!PasswordCipher::decrypt(folded(raw), key, &out));
    QCOMPARE(out, QByteArray("untouched"));
    // A wrong key leaves garbage padding as well (almost always); it must not crash.
    PasswordCipher::decrypt(PasswordCipher::encrypt("hello", key), "another key 1234");
}

void TestPasswordCipher::emptyPasswordTellsApartFromFailure()
{
    QByteArray out("untouched");
    QVERIFY(PasswordCipher::decrypt(PasswordCipher::encrypt(QByteArray(), key), key, &out));
    QVERIFY(out.isEmpty());
}

void TestPasswordCipher::randomInputNeverCrashes()
{
    QRandomGenerator rng(20240611);
    const QByteArray alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=\r\n";
    for (int round = 0; round < 3000; ++round) {
        const int len = rng.bounded(200);
        QByteArray text(len, '\0');
        const bool anyByte = round % 3 == 0;
        for (int i = 0; i < len; ++i)
            text[i] = anyByte ? char(rng.bounded(256)) : alphabet.at(rng.bounded(alphabet.size()));
        QByteArray out;
        if (PasswordCipher::decrypt(text, key, &out))
            QVERIFY(out.size() < len);
    }
}

QTEST_APPLESS_MAIN(TestPasswordCipher)
#include "tst_passwordcipher.moc"
