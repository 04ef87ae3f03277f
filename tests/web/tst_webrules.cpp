// The pure rules of the web panes: aria2's configuration rewrite, which cloud-disk addresses
// get the script, and the script text as injected.
#include "web/cloudsiterules.h"
#include "web/syncconfig.h"

#include <QRegExp>
#include <QtTest>

class TestWebRules : public QObject
{
    Q_OBJECT

private slots:
    void rewrite_data();
    void rewrite();
    void readsValuesAsAria2Does();
    void signedInPages_data();
    void signedInPages();
    void homePage_data();
    void homePage();
    void scriptGetsPortAndSecret();
};

void TestWebRules::rewrite_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("saveDir");
    QTest::addColumn<QByteArray>("expected");

    const QString home = QStringLiteral("/home/u");
    const QByteArray owned = "input-file=/home/u/kelvora/aria2.session\n"
                             "save-session=/home/u/kelvora/aria2.session\n"
                             "dir=/data/下载\n";

    // A comment that mentions a key is the user's, and so is a value that holds "dir=".
    QTest::newRow("comment with dir=")
        << QByteArray(
               "# dir=/old\r\n#input-file=x\r\nlog=/home/u/mydir=x/aria2.log\r\ndir=/old\r\n")
        << home << QStringLiteral("/data/下载")
        << QByteArray("# dir=/old\r\n#input-file=x\r\nlog=/home/u/mydir=x/aria2.log\r\n"
                      "dir=/data/下载\r\n"
                      "input-file=/home/u/kelvora/aria2.session\r\n"
                      "save-session=/home/u/kelvora/aria2.session\r\nrpc-secret=s3cret\r\n");
    // The key decides, not where a key name turns up on the line.
    QTest::newRow("two keys on a line")
        << QByteArray("dir=/a input-file=/b\r\n") << home << QStringLiteral("/data/下载")
        << QByteArray("dir=/data/下载\r\n"
                      "input-file=/home/u/kelvora/aria2.session\r\n"
                      "save-session=/home/u/kelvora/aria2.session\r\nrpc-secret=s3cret\r\n");
    QTest::newRow("home with a blank")
        << QByteArray("input-file=\nsave-session=\ndir=\nrpc-secret=\n")
        << QStringLiteral("/home/a b") << QStringLiteral("/home/a b/my downloads")
        << QByteArray("input-file=/home/a b/kelvora/aria2.session\n"
                      "save-session=/home/a b/kelvora/aria2.session\n"
                      "dir=/home/a b/my downloads\nrpc-secret=s3cret\n");
    QTest::newRow("foreign lines byte for byte, set secret kept, no final newline")
        << QByteArray(
               "  split = 4  \n\n\tmax-tries=5\n rpc-secret = abc \nsave-session-interval=30")
        << home << QStringLiteral("/data/下载")
        << QByteArray("  split = 4  \n\n\tmax-tries=5\n rpc-secret = abc \n"
                      "save-session-interval=30\n") +
               owned;
    // A folder name with a line break must not add options of its own.
    QTest::newRow("save path with a line break")
        << QByteArray("dir=/old\nrpc-secret=abc\n") << home
        << QStringLiteral("/tmp/x\nrpc-listen-all=true")
        << QByteArray("dir=/old\nrpc-secret=abc\n"
                      "input-file=/home/u/kelvora/aria2.session\n"
                      "save-session=/home/u/kelvora/aria2.session\n");
}

void TestWebRules::rewrite()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, home);
    QFETCH(QString, saveDir);
    QFETCH(QByteArray, expected);
    const SyncConfigValues values{home + QStringLiteral("/kelvora/aria2.session"), saveDir,
                                  "s3cret"};
    const QByteArray once = rewriteSyncConfig(text, values);
    QCOMPARE(once, expected);
    // Rewriting the result changes nothing: a restart leaves the file alone.
    QCOMPARE(rewriteSyncConfig(once, values), once);
}

void TestWebRules::readsValuesAsAria2Does()
{
    const QByteArray text = "# rpc-listen-port=1\nrpc-listen-port=7000\n rpc-secret = abc \n"
                            "rpc-listen-port = 7001\r\n";
    QCOMPARE(syncConfigValue(text, "rpc-secret"), QByteArray("abc"));
    QCOMPARE(syncConfigRpcPort(text), 7001);
    QCOMPARE(syncConfigRpcPort("rpc-listen-port=0\n"), defaultSyncRpcPort);
    QCOMPARE(syncConfigRpcPort("rpc-listen-port=70000\n"), defaultSyncRpcPort);
    QCOMPARE(syncConfigRpcPort("split=4\n"), defaultSyncRpcPort);
    const QByteArray secret = newRpcSecret();
    QVERIFY(QRegExp(QStringLiteral("[0-9a-f]{32}")).exactMatch(QString::fromLatin1(secret)));
    QVERIFY(secret != newRpcSecret());
}

void TestWebRules::signedInPages_data()
{
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("signedIn");

    const QString site = QStringLiteral("http://www.yunpan.test:58100/");
    QTest::newRow("www, /my/") << site << "http://www.yunpan.test:58100/my/" << true;
    QTest::newRow("other label, https, query")
        << site << "https://c4_1-x.yunpan.test:58100/my?path=/a" << true;
    QTest::newRow("path starting with /my")
        << site << "http://c1.yunpan.test:58100/mything" << true;
    QTest::newRow("home path") << site << "http://www.yunpan.test:58100/" << false;
    QTest::newRow("other path") << site << "http://www.yunpan.test:58100/share/my/" << false;
    QTest::newRow("two-label subdomain") << site << "http://a.b.yunpan.test:58100/my/" << false;
    QTest::newRow("bare domain") << site << "http://yunpan.test:58100/my/" << false;
    QTest::newRow("other port") << site << "http://www.yunpan.test:58101/my/" << false;
    QTest::newRow("dot is no wildcard") << site << "http://www.yunpanxtest:58100/my/" << false;
    QTest::newRow("inside another address")
        << site << "http://evil.example/?u=http://www.yunpan.test:58100/my/" << false;
    QTest::newRow("no port given") << "http://yunpan.test/"
                                   << "http://c1.yunpan.test/my/" << true;
    QTest::newRow("no port given, page on one") << "http://yunpan.test/"
                                                << "http://c1.yunpan.test:8080/my/" << false;
    QTest::newRow("address host") << "http://127.0.0.1:18100/"
                                  << "http://127.0.0.1:18100/my/" << true;
    QTest::newRow("address host, other address") << "http://127.0.0.1:18100/"
                                                 << "http://127.0.0.11:18100/my/" << false;
}

void TestWebRules::signedInPages()
{
    QFETCH(QString, home);
    QFETCH(QString, address);
    QFETCH(bool, signedIn);
    const QRegExp pattern(signedInPagePattern(QUrl(home)), Qt::CaseSensitive, QRegExp::RegExp);
    QVERIFY(pattern.isValid());
    QCOMPARE(pattern.exactMatch(address), signedIn);
}

void TestWebRules::homePage_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("home");
    QTest::newRow("home") << "http://www.yunpan.test:58100/" << true;
    QTest::newRow("failed sign-in") << "http://www.yunpan.test:58100/?error=1" << false;
    QTest::newRow("other host") << "http://c1.yunpan.test:58100/" << false;
    QTest::newRow("other port") << "http://www.yunpan.test:8080/" << false;
}

void TestWebRules::homePage()
{
    QFETCH(QString, address);
    QFETCH(bool, home);
    QCOMPARE(isCloudHomePage(QUrl(address), QUrl(QStringLiteral("http://www.yunpan.test:58100/"))),
             home);
}

void TestWebRules::scriptGetsPortAndSecret()
{
    const QString source =
        QStringLiteral("var p = __KELVORA_RPC_PORT__; var s = __KELVORA_RPC_SECRET__;");
    QCOMPARE(injectedScriptText(source, 6800, "0123abcd"),
             QStringLiteral("var p = 6800; var s = \"0123abcd\";"));
    // Whatever the configuration holds stays one string literal.
    QCOMPARE(injectedScriptText(source, 7000, "a\"b\\c\n"),
             QStringLiteral("var p = 7000; var s = \"a\\\"b\\\\c\\n\";"));
}

QTEST_GUILESS_MAIN(TestWebRules)
#include "tst_webrules.moc"
