// The cloud-disk site stand-in: its pages, the two services and the downloads they hand out.
#include "labtest.h"

#include <QFile>
#include <QJsonArray>
#include <QtTest>

namespace {

QByteArray form(const QList<QPair<QString, QString>> &fields)
{
    QUrlQuery q;
    for (const auto &f : fields)
        q.addQueryItem(f.first, QString::fromLatin1(QUrl::toPercentEncoding(f.second)));
    return q.query(QUrl::FullyEncoded).toLatin1();
}

} // namespace

class TestLabCloud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesCarryTheObjectsTheScriptUses();
    void servicesNeedSignIn();
    void listAndDownloadWithRange();

private:
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(lab_.cloudPort()).arg(path);
    }
    int errnoOf(HttpSync &http, const char *service, const QByteArray &body)
    {
        return http.post(url(service), body).json().value("errno").toInt(-99);
    }
    LabProcess lab_;
    HttpSync signedIn_;
};

void TestLabCloud::initTestCase()
{
    QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
    QCOMPARE(signedIn_.post(url("/login"), form({{"username", "demo"}, {"password", "wrong"}}))
                 .header("Location"),
             QByteArray("/?error=1"));
    const HttpSync::Result login =
        signedIn_.post(url("/login"), form({{"username", "demo"}, {"password", "demo123"}}));
    QCOMPARE(login.status, 302);
    QCOMPARE(login.header("Location"), QByteArray("/my/"));
    QVERIFY(login.header("Set-Cookie").startsWith("yp_session="));
}

void TestLabCloud::pagesCarryTheObjectsTheScriptUses()
{
    HttpSync anonymous;
    const HttpSync::Result home = anonymous.get(url("/"));
    QCOMPARE(home.status, 200);
    for (const char *needle : {"container", "login-panel", "wrap clearfix", "follow-us"})
        QVERIFY2(home.body.contains(needle), needle);
    // Signed-in pages only with the session; the home page otherwise.
    QCOMPARE(anonymous.get(url("/my/")).status, 302);
    const HttpSync::Result my = signedIn_.get(url("/my/?path=/我的图片"));
    QCOMPARE(my.status, 200);
    for (const char *needle : {"id=\"listHolder\"", "id=\"list\"", "id=\"topPanel\"",
                               "id=\"tbNew\"", "id=\"x-yp-3\"", "data-nid=", "云端 风景.jpg"})
        QVERIFY2(my.body.contains(needle), needle);
    // The scripts it loads are served: jQuery and the page objects.
    const QRegularExpression script(QStringLiteral("<script[^>]*src=\"([^\"]+)\""));
    auto it = script.globalMatch(QString::fromUtf8(my.body));
    QByteArray scripts;
    while (it.hasNext()) {
        const HttpSync::Result r = signedIn_.get(url(it.next().captured(1)));
        QCOMPARE(r.status, 200);
        scripts += r.body;
    }
    QVERIFY(scripts.contains("jQuery v3.7.1"));
    for (const char *needle : {"getSelectFile", "evalExp", "f_down", "getList", "hideAll"})
        QVERIFY2(scripts.contains(needle), needle);
}

void TestLabCloud::servicesNeedSignIn()
{
    HttpSync anonymous;
    QCOMPARE(errnoOf(anonymous, "/file/getList", form({{"path", "/"}})), 1001);
    QCOMPARE(
        errnoOf(anonymous, "/file/download", form({{"nid", "x"}, {"fname", "x"}, {"ajax", "1"}})),
        1001);
    // A nid that names a path out of the user's folder, or nothing.
    const QString out = QString::fromLatin1(
        QByteArray("/../../lab.json")
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
    for (const QString &nid : {out, QStringLiteral("bm8tc3VjaA")})
        QCOMPARE(errnoOf(signedIn_, "/file/download",
                         form({{"nid", nid}, {"fname", "x"}, {"ajax", "1"}})),
                 2001);
    QCOMPARE(anonymous.get(url("/dl/" + out + "/lab.json?t=x")).status, 403);
}

void TestLabCloud::listAndDownloadWithRange()
{
    // The list comes as text that the page evaluates; it is JSON.
    const HttpSync::Result list =
        signedIn_.post(url("/file/getList"), form({{"path", "/"}, {"field", "x"}}));
    QCOMPARE(list.status, 200);
    const QJsonObject listed = list.json();
    QCOMPARE(listed.value("errno").toInt(), 0);
    QJsonObject big;
    for (const QJsonValue &v : listed.value("data").toArray())
        if (v.toObject().value("oriName").toString() == QStringLiteral("big file 4MB.bin"))
            big = v.toObject();
    QCOMPARE(big.value("isDir").toInt(), 0);
    QCOMPARE(big.value("path").toString(), QStringLiteral("/big file 4MB.bin"));

    const QJsonObject address =
        signedIn_
            .post(url("/file/download"), form({{"nid", big.value("nid").toString()},
                                               {"fname", "big file 4MB.bin"},
                                               {"ajax", "1"}}))
            .json();
    QCOMPARE(address.value("errno").toInt(), 0);
    const QJsonObject data = address.value("data").toObject();
    const qint64 size = data.value("size").toVariant().toLongLong();
    QFile file(lab_.sampleDir() + QStringLiteral("/cloud/demo/big file 4MB.bin"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(size, file.size());
    const QByteArray whole = file.readAll();

    // The address works without the cookie, with Range.
    const QUrl download(data.value("download_url").toString());
    QCOMPARE(download.port(), lab_.cloudPort());
    HttpSync anonymous;
    const HttpSync::Result part = anonymous.get(download, {{"Range", "bytes=1000000-1000999"}});
    QCOMPARE(part.status, 206);
    QCOMPARE(part.header("Content-Range"), "bytes 1000000-1000999/" + QByteArray::number(size));
    QCOMPARE(part.body, whole.mid(1000000, 1000));
    const HttpSync::Result tail = anonymous.get(download, {{"Range", "bytes=-10"}});
    QCOMPARE(tail.status, 206);
    QCOMPARE(tail.body, whole.right(10));
    QCOMPARE(anonymous.get(download, {{"Range", "bytes=" + QByteArray::number(size) + "-"}}).status,
             416);
    const HttpSync::Result all = anonymous.get(download);
    QCOMPARE(all.status, 200);
    QCOMPARE(all.body, whole);
}

QTEST_GUILESS_MAIN(TestLabCloud)
#include "tst_labcloud.moc"
