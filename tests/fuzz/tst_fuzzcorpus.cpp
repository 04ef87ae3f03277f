#include "fuzzers.h"

#include <QtTest>

// Replays each fuzz target's corpus through its check, plus every truncation and a sweep of
// byte changes of each file, so builds without libFuzzer exercise the same checks.
class TestFuzzCorpus : public QObject
{
    Q_OBJECT

private slots:
    void replay_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<void *>("entry");
        const auto add = [](const char *name, void (*entry)(const QByteArray &)) {
            QTest::newRow(name) << QString::fromLatin1(name) << reinterpret_cast<void *>(entry);
        };
        add("bounddevicereply", fuzzBoundDeviceReply);
        add("discoveryanswer", fuzzDiscoveryAnswer);
        add("usbinfo", fuzzUsbInfo);
        add("untrustedjson", fuzzUntrustedJson);
        add("devicepath", fuzzDevicePath);
        add("passwordcipher", fuzzPasswordCipher);
        add("stringconvert", fuzzStringConvert);
        add("flatjson", fuzzFlatJson);
        add("endpoints", fuzzEndpoints);
        add("syncconfig", fuzzSyncConfig);
        add("querydir", fuzzQueryDir);
        add("filelist", fuzzFileList);
        add("delfileex", fuzzDelFileEx);
        add("realvideo", fuzzRealVideo);
        add("contentrange", fuzzContentRange);
        add("signinreply", fuzzSignInReply);
    }
    void replay()
    {
        QFETCH(QString, folder);
        QFETCH(void *, entry);
        const auto check = reinterpret_cast<void (*)(const QByteArray &)>(entry);
        const QDir dir(QStringLiteral(KELVORA_FUZZ_CORPUS "/") + folder);
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(dir.path()));
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            check(data);
            for (int i = 0; i < data.size(); ++i) {
                check(data.left(i));
                for (const char c : {'\0', '"', '}', '9', '-', '%', '\\', '\xed', '\xff'})
                    check(QByteArray(data).replace(i, 1, &c, 1));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
