// The stored-password cipher against the openssl command line, and its decoder against texts
// that encrypt never produces.
#include "store/passwordcipher.h"

#include <QProcess>
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
    QByteArray out;
    for (int i = 0; i < b64.size(); ++i) {
        out.append(b64.at(i));
        if ((i + 1) % 76 == 0 && i + 1 <= raw.size() / 3 * 4)
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
    void matchesOpenssl_data()
    {
        QTest::addColumn<QByteArray>("plain");
        QTest::addColumn<QByteArray>("cipherKey");
        QTest::addColumn<QByteArray>("opensslKey");
        QTest::addColumn<int>("lineBreaks"); // CRLF count, counted by hand
        QTest::newRow("empty") << QByteArray() << key << key << 0;
        QTest::newRow("1") << QByteArray("x") << key << key << 0;
        QTest::newRow("15") << pattern(15) << key << key << 0;
        QTest::newRow("16") << pattern(16) << key << key << 0;
        QTest::newRow("17") << pattern(17) << key << key << 0;
        QTest::newRow("47") << pattern(47) << key << key << 0;
        QTest::newRow("48 (one fold at 76)") << pattern(48) << key << key << 1;
        QTest::newRow("chinese") << QString::fromUtf8("密码测试ä€𝄞").toUtf8() << key << key << 0;
        QTest::newRow("quotes") << QByteArray("it's \"%1\" 100%") << key << key << 0;
        QTest::newRow("384 (fold before last group)") << pattern(384) << key << key << 7;
        QTest::newRow("900 (ends on a fold)") << pattern(900) << key << key << 16;
        for (const QByteArray &pw : {QByteArray("pass\t"), QByteArray("pass\n"),
                                     QByteArray("abc\x01"), QByteArray("\x10\x10")})
            QTest::newRow(("trailing control " + pw.toHex()).constData()) << pw << key << key << 0;
        // A short key is filled up to 16 bytes with bytes of the missing count.
        QTest::newRow("short key") << QByteArray("hello") << QByteArray("abc")
                                   << QByteArray("abc") + QByteArray(13, char(13)) << 0;
    }

    void matchesOpenssl()
    {
        QFETCH(QByteArray, plain);
        QFETCH(QByteArray, cipherKey);
        QFETCH(QByteArray, opensslKey);
        QFETCH(int, lineBreaks);
        const QByteArray raw = opensslEncrypt(plain, opensslKey);
        QVERIFY2(raw.size() == (plain.size() / 16 + 1) * 16, raw.constData());
        const QByteArray stored = PasswordCipher::encrypt(plain, cipherKey);
        QCOMPARE(stored, folded(raw));
        QCOMPARE(stored.count("\r\n"), lineBreaks);
        QCOMPARE(stored.count('\n'), lineBreaks);
        QByteArray out("untouched");
        QVERIFY(PasswordCipher::decrypt(stored, cipherKey, &out)); // also for the empty password
        QCOMPARE(out, plain);
        QCOMPARE(PasswordCipher::decrypt(stored, cipherKey), plain);
    }

    void longKeyRefused()
    {
        QVERIFY(PasswordCipher::encrypt("hello", QByteArray(17, 'k')).isEmpty());
        QByteArray out("untouched");
        QVERIFY(!PasswordCipher::decrypt(PasswordCipher::encrypt("hello", key), QByteArray(17, 'k'),
                                         &out));
        QCOMPARE(out, QByteArray("untouched"));
    }

    void zeroByteEndsPassword()
    {
        const QByteArray pw("ab\0cd", 5);
        QCOMPARE(PasswordCipher::decrypt(PasswordCipher::encrypt(pw, key), key), QByteArray("ab"));
    }

    void malformed_data()
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
        // Whole blocks whose last one decrypts to bytes that are no valid padding.
        const QByteArray body(16, 'p');
        const QByteArray a15(15, 'a');
        for (const QByteArray &last : {a15 + char(0), a15 + char(17), a15 + char(255),
                                       QByteArray(13, 'a') + "\x03\x02\x03", QByteArray(16, 'a')}) {
            const QByteArray cipher = opensslEncrypt(body + last, key, true);
            QCOMPARE(cipher.size(), 32);
            QTest::newRow(("padding " + last.right(3).toHex()).constData()) << folded(cipher);
        }
    }

    void malformed()
    {
        QFETCH(QByteArray, stored);
        QByteArray out("untouched");
        QVERIFY(!PasswordCipher::decrypt(stored, key, &out));
        QCOMPARE(out, QByteArray("untouched"));
        QVERIFY(PasswordCipher::decrypt(stored, key).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestPasswordCipher)
#include "tst_passwordcipher.moc"
