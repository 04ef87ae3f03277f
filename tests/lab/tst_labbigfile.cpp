// A 1 GiB upload and download through the lab, compared by SHA-256, streamed both ways.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

const qint64 kSize = 1024ll * 1024 * 1024;
const QByteArray kBoundary = "boundary_vbx_MzExMTc=MzA5MDQ=MjA2OTE=";

QByteArray hashFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(&f);
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
    const QString id = QStringLiteral("TVK0000000001");

    // The source: generated in this test's own temporary folder, never held in memory whole.
    const QString source = QDir::tempPath() + QStringLiteral("/big source.bin");
    {
        QFile out(source);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QByteArray block(1024 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (qint64 written = 0; written < kSize; written += block.size()) {
            for (int i = 0; i < block.size(); i += 4) {
                x = x * 1664525u + 1013904223u;
                memcpy(block.data() + i, &x, 4);
            }
            QCOMPARE(out.write(block), qint64(block.size()));
        }
    }
    const QByteArray expected = hashFile(source);

    // Upload as the client does, relayed, so both the relay and the device stream it.
    auto *file = new QFile(source);
    QVERIFY(file->open(QIODevice::ReadOnly));
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multi->setBoundary(kBoundary);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\""));
    part.setBodyDevice(file);
    file->setParent(multi);
    multi->append(part);
    const int mps = lab.device(id).value("mps_port").toInt();
    HttpSync http(600000);
    const HttpSync::Result up = http.post(
        HttpSync::url(lab.relayUrl() +
                      QStringLiteral("/upload.csp?x-qm-devid=%1&x-qm-pri=1&x-qm-port=%2&uploadpath="
                                     "/media/sdb1/大 文件&file=big%20one.bin&opt=overwrite")
                          .arg(id)
                          .arg(mps)),
        multi, {{"Content-Type", "multipart/form-data; boundary=" + kBoundary}});
    QCOMPARE(up.status, 200);
    QCOMPARE(QJsonDocument::fromJson(up.body).object().value("rtn").toInt(), 0);
    const QString stored =
        lab.device(id).value("root").toString() + QStringLiteral("/sdb1/大 文件/big one.bin");
    QCOMPARE(QFileInfo(stored).size(), kSize);
    QCOMPARE(hashFile(stored), expected);
    QFile::remove(source);

    // Download it back directly, hashing as it arrives, then the second half by range.
    QCryptographicHash whole(QCryptographicHash::Sha256);
    qint64 received = 0;
    const QString url = lab.deviceUrl(id, QStringLiteral("http")) +
                        QStringLiteral("/media/sdb1/%E5%A4%A7%20%E6%96%87%E4%BB%B6/big%20one.bin");
    const HttpSync::Result down = http.stream(HttpSync::url(url), [&](const QByteArray &b) {
        whole.addData(b);
        received += b.size();
    });
    QCOMPARE(down.status, 200);
    QCOMPARE(received, kSize);
    QCOMPARE(whole.result(), expected);

    QCryptographicHash tail(QCryptographicHash::Sha256);
    received = 0;
    const HttpSync::Result part2 =
        http.stream(HttpSync::url(url),
                    [&](const QByteArray &b) {
                        tail.addData(b);
                        received += b.size();
                    },
                    {{"Range", "bytes=" + QByteArray::number(kSize / 2) + "-"}});
    QCOMPARE(part2.status, 206);
    QCOMPARE(received, kSize / 2);
    QFile stored2(stored);
    QVERIFY(stored2.open(QIODevice::ReadOnly));
    QVERIFY(stored2.seek(kSize / 2));
    QCryptographicHash tailOnDisk(QCryptographicHash::Sha256);
    tailOnDisk.addData(&stored2);
    QCOMPARE(tail.result(), tailOnDisk.result());
}

QTEST_GUILESS_MAIN(TestLabBigFile)
#include "tst_labbigfile.moc"
