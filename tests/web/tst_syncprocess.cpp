// aria2 as the program runs it: the real aria2c from PATH with our template, on a free RPC
// port (the template's port line replaced, as a user may), in a home folder with a blank.
#include "tests/support/httpsync.h"
#include "web/syncprocess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const int answerMs = 30000;

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

} // namespace

class TestSyncProcess : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refusesWithoutSecretAndStartsOnce();
    void followsSavePathAndComesBack();
    void noProgramNoStart();

private:
    // One JSON-RPC call; the token goes first when given.
    QJsonObject call(const QString &method, QJsonArray params, const QByteArray &token = {});
    bool waitForRpc(const QByteArray &token);
    QString globalOption(const QByteArray &token, const QString &name);

    std::unique_ptr<QTemporaryDir> root;
    QString appDir, dataDir, saveDir;
    int port = 0;
    SyncProcess *sync = nullptr;
};

void TestSyncProcess::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    appDir = root->filePath(QStringLiteral("app"));
    dataDir = root->filePath(QStringLiteral("home with blank/kelvora"));
    saveDir = root->filePath(QStringLiteral("home with blank/下载 目录"));
    QVERIFY(QDir().mkpath(appDir) && QDir().mkpath(saveDir));
    QFile templ(qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/aria2.conf"));
    QVERIFY2(templ.open(QIODevice::ReadOnly), "no template beside the program");
    QByteArray text = templ.readAll();
    port = freePort();
    QVERIFY(port > 0);
    QVERIFY(text.contains("\nrpc-listen-port=6800\n"));
    text.replace("\nrpc-listen-port=6800\n",
                 "\nrpc-listen-port=" + QByteArray::number(port) + '\n');
    QFile copy(appDir + QStringLiteral("/aria2.conf"));
    QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(text) == text.size());
    sync = new SyncProcess(appDir, dataDir);
}

void TestSyncProcess::cleanup()
{
    const qint64 pid = sync ? sync->processId() : 0;
    delete sync;
    sync = nullptr;
    QVERIFY2(!processExists(pid), "aria2 outlived its SyncProcess");
}

QJsonObject TestSyncProcess::call(const QString &method, QJsonArray params, const QByteArray &token)
{
    if (!token.isEmpty())
        params.prepend(QStringLiteral("token:") + QString::fromLatin1(token));
    const QJsonObject request{
        {"jsonrpc", "2.0"}, {"id", "t"}, {"method", method}, {"params", params}};
    HttpSync http(5000);
    return http
        .post(QUrl(QStringLiteral("http://127.0.0.1:%1/jsonrpc").arg(port)),
              QJsonDocument(request).toJson(), "application/json")
        .json();
}

bool TestSyncProcess::waitForRpc(const QByteArray &token)
{
    return QTest::qWaitFor(
        [&] { return call(QStringLiteral("aria2.getVersion"), {}, token).contains("result"); },
        answerMs);
}

QString TestSyncProcess::globalOption(const QByteArray &token, const QString &name)
{
    return call(QStringLiteral("aria2.getGlobalOption"), {}, token)
        .value("result")
        .toObject()
        .value(name)
        .toString();
}

void TestSyncProcess::refusesWithoutSecretAndStartsOnce()
{
    sync->setSavePath(saveDir);
    QVERIFY(sync->startSyncProcess());
    const QByteArray secret = sync->rpcSecret();
    QCOMPARE(secret.size(), 32);
    QCOMPARE(sync->rpcPort(), port);
    QVERIFY2(waitForRpc(secret), "aria2 did not answer with the secret");

    // Without the token, or with another, aria2 does nothing: no download is added.
    const QJsonArray uri{QJsonArray{QStringLiteral("http://127.0.0.1:9/x")}};
    for (const QByteArray &token : {QByteArray(), QByteArray("wrong")}) {
        const QJsonObject refused = call(QStringLiteral("aria2.addUri"), uri, token);
        QCOMPARE(refused.value("error").toObject().value("message").toString(),
                 QStringLiteral("Unauthorized"));
    }
    const QJsonObject stat = call(QStringLiteral("aria2.getGlobalStat"), {}, secret);
    QCOMPARE(stat.value("result").toObject().value("numStopped").toString(), QStringLiteral("0"));
    QCOMPARE(stat.value("result").toObject().value("numWaiting").toString(), QStringLiteral("0"));

    // The configuration with the blank in its path reached aria2 whole, and only its owner
    // may read the secret.
    QCOMPARE(globalOption(secret, QStringLiteral("dir")), saveDir);
    QCOMPARE(globalOption(secret, QStringLiteral("save-session")), sync->sessionPath());
    QCOMPARE(QFileInfo(sync->configPath()).permissions() & 0x0077, QFileDevice::Permissions());

    const qint64 pid = sync->processId();
    QVERIFY(sync->startSyncProcess());
    QCOMPARE(sync->processId(), pid);
}

void TestSyncProcess::followsSavePathAndComesBack()
{
    QVERIFY(sync->startSyncProcess());
    const QByteArray secret = sync->rpcSecret();
    QVERIFY(waitForRpc(secret));

    // A new download folder reaches the running aria2, not only its next start.
    sync->setSavePath(saveDir);
    QTRY_COMPARE_WITH_TIMEOUT(globalOption(secret, QStringLiteral("dir")), saveDir, answerMs);

    // aria2 gone (killed from outside): the next opening starts it again, same secret.
    const qint64 first = sync->processId();
    QVERIFY(::kill(pid_t(first), SIGKILL) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(!sync->isRunning(), answerMs);
    QVERIFY(sync->startSyncProcess());
    QVERIFY(sync->processId() != first);
    QVERIFY(waitForRpc(secret));
    QCOMPARE(globalOption(secret, QStringLiteral("dir")), saveDir);

    // Another start of the program on the same data directory keeps the secret.
    delete sync;
    sync = new SyncProcess(appDir, dataDir);
    sync->writeSyncConfig();
    QCOMPARE(sync->rpcSecret(), secret);
}

void TestSyncProcess::noProgramNoStart()
{
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", root->path().toUtf8());
    const bool started = sync->startSyncProcess();
    qputenv("PATH", path);
    QVERIFY(!started);
    QVERIFY(!sync->isRunning());
    // The configuration is ready all the same, for the next start.
    QCOMPARE(sync->rpcSecret().size(), 32);
}

QTEST_GUILESS_MAIN(TestSyncProcess)
#include "tst_syncprocess.moc"
