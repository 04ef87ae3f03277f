#include "fuzz/devicefuzzers.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// Replays the fuzz corpus through the fuzz entries, plus every truncation and a sweep of
// byte changes of each file, so builds without libFuzzer exercise the same checks.
class TestDeviceFuzzCorpus : public QObject
{
    Q_OBJECT

private:
    using Entry = void (*)(const QByteArray &);

    static void replay(const QString &folder, Entry entry)
    {
        const QDir dir(QStringLiteral(KELVORA_DEVICE_CORPUS) + QLatin1Char('/') + folder);
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(dir.path()));
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            entry(data);
            for (int length = 0; length < data.size(); ++length)
                entry(data.left(length));
            for (int i = 0; i < data.size(); ++i) {
                for (const char c : {'\0', '"', '}', '9', '-', '%', '\xff'}) {
                    QByteArray changed = data;
                    changed[i] = c;
                    entry(changed);
                }
            }
        }
    }

private slots:
    void boundDeviceReply() { replay(QStringLiteral("bounddevicereply"), fuzzBoundDeviceReply); }
    void discoveryAnswer() { replay(QStringLiteral("discoveryanswer"), fuzzDiscoveryAnswer); }
    void usbInfo() { replay(QStringLiteral("usbinfo"), fuzzUsbInfo); }
};

QTEST_GUILESS_MAIN(TestDeviceFuzzCorpus)
#include "tst_devicefuzzcorpus.moc"
