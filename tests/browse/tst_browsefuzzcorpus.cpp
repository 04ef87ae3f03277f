#include "fuzz/browsefuzzers.h"

#include <QtTest>

// Replays the fuzz corpus through the fuzz entries, plus every truncation and a sweep of
// byte changes of each file, so builds without libFuzzer exercise the same checks.
class TestBrowseFuzzCorpus : public QObject
{
    Q_OBJECT

private:
    static void replay(const QString &folder, void (*entry)(const QByteArray &))
    {
        const QDir dir(QStringLiteral(KELVORA_BROWSE_CORPUS "/") + folder);
        const QStringList files = dir.entryList(QDir::Files);
        QVERIFY2(!files.isEmpty(), qPrintable(dir.path()));
        for (const QString &name : files) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            entry(data);
            for (int i = 0; i < data.size(); ++i) {
                entry(data.left(i));
                for (const char c : {'\0', '"', '}', '9', '-', '%', '/', '\xff'})
                    entry(QByteArray(data).replace(i, 1, &c, 1));
            }
        }
    }

private slots:
    void queryDir() { replay(QStringLiteral("querydir"), fuzzQueryDir); }
    void fileList() { replay(QStringLiteral("filelist"), fuzzFileList); }
    void delFileEx() { replay(QStringLiteral("delfileex"), fuzzDelFileEx); }
};

QTEST_GUILESS_MAIN(TestBrowseFuzzCorpus)
#include "tst_browsefuzzcorpus.moc"
