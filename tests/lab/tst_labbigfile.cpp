// A 1 GiB upload and download through the lab, compared by SHA-256, streamed both ways.
#include "labtest.h"

#include <QCryptographicHash>
#include <QFile>
#include <QtTest>

namespace {

const qint64 kSize = 1024ll * 1024 * 1024;

// The SHA-256 of a file from offset on.
QByteArray hashFile(const QString &path, qint64 offset = 0)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(offset) || !h.addData(&f))
        return QByteArray();
    return h.result();
}

} // namespace

class TestLabBigFile : public QObject
{
    Q_OBJECT

private slots:
    void uploadAndDownloadOneGiB();
};

void TestLabBigFile::uploadAndDownloadOneGiB()
{
    LabProcess lab;
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));

    // The source: generated in this test's own temporary folder, never held in memory whole.
    const QString source = QDir::tempPath() + QStringLiteral("/big source.bin");
    auto *file = new QFile(source);
    QVERIFY(file->open(QIODevice::ReadWrite));
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    quint32 x = 12345;
    for (qint64 written = 0; written < kSize; written += block.size()) {
        for (int i = 0; i < block.size(); i += 4) {
            x = x * 1664525u + 1013904223u;
            memcpy(block.data() + i, &x, 4);
        }
        QCOMPARE(file->write(block), qint64(block.size()));
    }
    QVERIFY(file->flush() && file->seek(0));
    const QByteArray expected = hashFile(source);

    // Upload as the client does, relayed, so both the relay and the device stream it.
    HttpSync http(600000);
    const HttpSync::Result up =
        http.post(lab.relayUrl() +
                      QStringLiteral("/upload.csp?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2&uploadpath="
                                     "/media/sdb1/大 文件&file=big%20one.bin&opt=overwrite")
                          .arg(kDevice)
                          .arg(lab.device(kDevice).value("mps_port").toInt()),
                  uploadForm(QByteArray(), file), kUploadHeaders);
    QCOMPARE(up.status, 200);
    QCOMPARE(up.json().value("rtn").toInt(), 0);
    const QString stored =
        lab.device(kDevice).value("root").toString() + QStringLiteral("/sdb1/大 文件/big one.bin");
    QCOMPARE(QFileInfo(stored).size(), kSize);
    QCOMPARE(hashFile(stored), expected);
    QFile::remove(source);

    // Download it back directly, hashing as it arrives, then the second half by range.
    const QString url = lab.deviceUrl(kDevice, QStringLiteral("http")) +
                        QStringLiteral("/media/sdb1/%E5%A4%A7%20%E6%96%87%E4%BB%B6/big%20one.bin");
    for (const qint64 from : {0ll, kSize / 2}) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        qint64 received = 0;
        const HttpSync::Result down = http.stream(
            url,
            [&](const QByteArray &b) {
                hash.addData(b);
                received += b.size();
            },
            from ? HttpSync::Headers{{"Range", "bytes=" + QByteArray::number(from) + "-"}}
                 : HttpSync::Headers());
        QCOMPARE(down.status, from ? 206 : 200);
        QCOMPARE(received, kSize - from);
        QCOMPARE(hash.result(), from ? hashFile(stored, from) : expected);
    }
}

QTEST_GUILESS_MAIN(TestLabBigFile)
#include "tst_labbigfile.moc"
