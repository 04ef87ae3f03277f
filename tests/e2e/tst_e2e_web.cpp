// The web panes of the whole client (bin/kelvora) under its own Xvfb: the cloud-disk site of a
// lab on free loopback ports (its domain mapped to loopback for the web views only), the real
// aria2 on a free RPC port, our web interface in the sync tab. The window is driven with
// xdotool; the pages are read and clicked through DevTools; outcomes are the files aria2
// writes, checked by SHA-256, and what aria2 itself answers.
//
// The steps build on each other in declaration order.
#include "tests/e2e/devtools.h"
#include "tests/e2e/xsession.h"
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

namespace {

const int startMs = 60000;  // a client start on a loaded machine, QtWebEngine included
const int answerMs = 30000; // a reaction of the client or a page to one event
const QString mainTitle = QStringLiteral("Kelvora");

// Positions inside the windows, from their fixed layouts.
const QPoint nameField(177, 175); // login dialog
const QPoint passwordField(177, 214);
const QPoint loginButton(165, 306);
const QPoint taskButton(365, 45); // main window, top bar
const QPoint syncButton(461, 45);
const QPoint settingsButton(557, 45);
const QPoint syncListButton(75, 245); // task page, left column
const QPoint savePathEdit(503, 156);  // settings page, save path column
const QPoint savePathOk(251, 206);

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

// From /proc/<pid>/stat, "pid (comm) state ppid ...": comm, state and parent; empty when the
// process is gone.
struct ProcessInfo
{
    QByteArray name;
    char state = 0;
    qint64 parent = 0;
};

ProcessInfo processInfo(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = stat.readAll();
    const int open = text.indexOf('('), close = text.lastIndexOf(')');
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    if (open < 0 || close < open || rest.size() < 2 || rest.at(0).isEmpty())
        return {};
    return {text.mid(open + 1, close - open - 1), rest.at(0).at(0), rest.at(1).toLongLong()};
}

// Running, not a zombie that nobody has reaped yet.
bool isAlive(qint64 pid)
{
    const char state = processInfo(QString::number(pid)).state;
    return state != 0 && state != 'Z' && state != 'X';
}

QList<qint64> aria2Children(qint64 parent)
{
    QList<qint64> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const ProcessInfo info = processInfo(entry);
        if (info.name == "aria2c" && info.parent == parent && isAlive(entry.toLongLong()))
            found << entry.toLongLong();
    }
    return found;
}

QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

} // namespace

class TestE2EWeb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void cloudPaneGetsControls();
    void savePathReachesAria2();
    void downloadsFileAndFolders();
    void syncTabListsDownloads();
    void aria2RefusesWithoutToken();
    void badAnswersShowInTipsBox();
    void killedClientTakesAria2Along();

private:
    bool startClient();
    XSession::Window mainWindow();
    void clickWindow(QPoint at);
    QByteArray configValue(const QByteArray &key) const;
    QJsonObject rpc(const QString &method, QJsonArray params, bool withToken = true);
    qint64 aria2Pid();
    // Clicks the centre of an element of the page (a jQuery selector) once nothing lies over
    // it (the site's tips box covers the toolbar for a while after each message).
    bool clickOn(DevToolsPage &page, const QString &selector,
                 const QString &button = QStringLiteral("left"));
    bool clickOn(const QString &selector, const QString &button = QStringLiteral("left"))
    {
        return clickOn(cloud, selector, button);
    }
    // The size column of the list entry with the name: the name is a link that opens a folder.
    static QString entry(const QString &name);
    bool waitForTip(const QString &text, bool error);
    void saveShot(const QString &name);

    LabProcess lab;
    XSession x;
    QProcess client;
    DevToolsPage cloud;
    QString work, home, saveDir, cloudDir;
    int rpcPort = 0;
    int devtoolsPort = 0;
    QStringList downloaded; // paths below the save folder
};

void TestE2EWeb::initTestCase()
{
    work = QDir::tempPath();
    // A home folder with a blank: the configuration path must reach aria2 whole.
    home = work + QStringLiteral("/home dir");
    saveDir = work + QStringLiteral("/save folder");
    QVERIFY(QDir().mkpath(home + QStringLiteral("/kelvora")) && QDir().mkpath(saveDir));
    QVERIFY2(x.start(work), qPrintable(x.lastError()));
    QVERIFY2(lab.startSample({{"cloud", QJsonObject{{"download_host", "127.0.0.1"}}}}),
             qPrintable(lab.lastError()));
    cloudDir = lab.sampleDir() + QStringLiteral("/cloud/demo");
    // Quotes, markup characters and Chinese in a name the script hands on.
    QFile odd(cloudDir + QStringLiteral("/我的文档/引号 \"甲\" <乙> & 丙.txt"));
    QVERIFY(odd.open(QIODevice::WriteOnly) && odd.write("odd name\n") == 9);
    odd.close();

    // aria2 on a free port, as a user may set it in the configuration (a line the program
    // keeps), so that parallel runs never meet on the product's port.
    rpcPort = freePort();
    devtoolsPort = freePort();
    QVERIFY(rpcPort > 0 && devtoolsPort > 0);
    QFile templ(qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/aria2.conf"));
    QVERIFY(templ.open(QIODevice::ReadOnly));
    QByteArray conf = templ.readAll();
    QVERIFY(conf.contains("\nrpc-listen-port=6800\n"));
    conf.replace("\nrpc-listen-port=6800\n",
                 "\nrpc-listen-port=" + QByteArray::number(rpcPort) + '\n');
    QFile own(home + QStringLiteral("/kelvora/aria2.conf"));
    QVERIFY(own.open(QIODevice::WriteOnly) && own.write(conf) == conf.size());
    own.close();

    QVERIFY(startClient());
    XSession::Window dialog;
    QVERIFY2(waitUntil(
                 [&] {
                     for (const XSession::Window &w : x.windows(client.processId(), mainTitle))
                         if (w.geometry.size() == QSize(330, 364))
                             return (dialog = w).isValid();
                     return false;
                 },
                 startMs),
             "no login dialog");
    const QPoint at = dialog.geometry.topLeft();
    QVERIFY(x.click(at.x() + nameField.x(), at.y() + nameField.y()));
    QVERIFY(x.replaceText(QStringLiteral("demo")));
    QVERIFY(x.click(at.x() + passwordField.x(), at.y() + passwordField.y()));
    QVERIFY(x.replaceText(QStringLiteral("demo123")));
    QVERIFY(x.click(at.x() + loginButton.x(), at.y() + loginButton.y()));
    QVERIFY2(waitUntil([&] { return mainWindow().isValid(); }, answerMs),
             "no main window after the sign-in");
}

void TestE2EWeb::cleanupTestCase()
{
    if (client.state() != QProcess::NotRunning) {
        client.terminate();
        if (!client.waitForFinished(10000))
            client.kill();
        client.waitForFinished(5000);
    }
    lab.stop();
    x.stop();
}

void TestE2EWeb::cleanup()
{
    if (!QTest::currentTestFailed())
        return;
    QFile log(work + QStringLiteral("/client-web.log"));
    if (log.open(QIODevice::ReadOnly))
        qWarning("client log:\n%s", log.readAll().right(4000).constData());
    qWarning("lab log, last lines:\n%s",
             qPrintable(lab.requestLog().mid(qMax(0, lab.requestLog().size() - 15)).join('\n')));
    qWarning("save folder: %s", qPrintable(QDir(saveDir).entryList().join(QLatin1Char(' '))));
}

bool TestE2EWeb::startClient()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("KELVORA_ACCOUNT_SERVICE"), lab.accountUrl());
    env.insert(QStringLiteral("KELVORA_DEVICE_MANAGER"), lab.accountUrl());
    env.insert(QStringLiteral("KELVORA_DISCOVERY_TARGET"), QStringLiteral("127.0.0.1:9"));
    env.insert(QStringLiteral("KELVORA_CLOUD_SITE"),
               QStringLiteral("http://www.yunpan.test:%1/").arg(lab.cloudPort()));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--host-resolver-rules=\"MAP *.yunpan.test 127.0.0.1\""));
    env.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
               QStringLiteral("127.0.0.1:%1").arg(devtoolsPort));
    client.setProcessEnvironment(env);
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.setStandardOutputFile(work + QStringLiteral("/client-web.log"));
    client.start(qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/kelvora"),
                 QStringList());
    return client.waitForStarted(startMs);
}

XSession::Window TestE2EWeb::mainWindow()
{
    for (const XSession::Window &w : x.windows(client.processId(), mainTitle))
        if (w.geometry.width() >= 900 && w.geometry.height() >= 650)
            return w;
    return XSession::Window();
}

void TestE2EWeb::clickWindow(QPoint at)
{
    const XSession::Window main = mainWindow();
    QVERIFY(main.isValid());
    QVERIFY(x.click(main.geometry.x() + at.x(), main.geometry.y() + at.y()));
}

QByteArray TestE2EWeb::configValue(const QByteArray &key) const
{
    QFile file(home + QStringLiteral("/kelvora/aria2.conf"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray value;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (line.startsWith(key + '='))
            value = line.mid(key.size() + 1).trimmed();
    return value;
}

QJsonObject TestE2EWeb::rpc(const QString &method, QJsonArray params, bool withToken)
{
    if (withToken)
        params.prepend(QStringLiteral("token:") + QString::fromLatin1(configValue("rpc-secret")));
    const QJsonObject call{
        {"jsonrpc", "2.0"}, {"id", "e2e"}, {"method", method}, {"params", params}};
    HttpSync http(5000);
    return http
        .post(QUrl(QStringLiteral("http://127.0.0.1:%1/jsonrpc").arg(rpcPort)),
              QJsonDocument(call).toJson(), "application/json")
        .json();
}

qint64 TestE2EWeb::aria2Pid()
{
    const QList<qint64> pids = aria2Children(client.processId());
    return pids.size() == 1 ? pids.first() : 0;
}

bool TestE2EWeb::clickOn(DevToolsPage &page, const QString &selector, const QString &button)
{
    QJsonArray at;
    const bool free = waitUntil(
        [&] {
            at = page.evaluate(QStringLiteral(
                                   "(function () { var s = %1; var e = window.jQuery ?"
                                   " jQuery(s)[0] : document.querySelector(s); if (!e) return null;"
                                   " var r = e.getBoundingClientRect();"
                                   " var x = r.left + r.width / 2, y = r.top + r.height / 2;"
                                   " var hit = document.elementFromPoint(x, y);"
                                   " return hit && (hit === e || e.contains(hit)) ? [x, y] : null;"
                                   " })()")
                                   .arg(jsString(selector)))
                     .toArray();
            return at.size() == 2;
        },
        answerMs);
    if (!free)
        qWarning("%s: not there or covered", qPrintable(selector));
    return free && page.click(QPointF(at.at(0).toDouble(), at.at(1).toDouble()), button);
}

QString TestE2EWeb::entry(const QString &name)
{
    return QStringLiteral("#list li[data-title=%1] .size").arg(jsString(name));
}

bool TestE2EWeb::waitForTip(const QString &text, bool error)
{
    return waitUntil(
        [&] {
            const QJsonArray tip =
                cloud.evaluate(QStringLiteral("[$('#tips').text(), $('#tips').hasClass('error')]"))
                    .toArray();
            return tip.size() == 2 && tip.at(0).toString().startsWith(text) &&
                   tip.at(1).toBool() == error;
        },
        answerMs);
}

void TestE2EWeb::saveShot(const QString &name)
{
    const XSession::Window main = mainWindow();
    const QImage window = x.grab().copy(main.geometry);
    QVERIFY(window.save(work + QLatin1Char('/') + name));
    const QString docs = qEnvironmentVariable("KELVORA_E2E_SCREENSHOT_DIR");
    if (!docs.isEmpty())
        QVERIFY(window.save(docs + QLatin1Char('/') + name));
}

void TestE2EWeb::cloudPaneGetsControls()
{
    clickWindow(syncButton);
    QVERIFY2(waitUntil([&] { return aria2Pid() != 0; }, answerMs), "aria2 did not start");
    QVERIFY2(waitUntil(
                 [&] {
                     return cloud.attach(devtoolsPort, QRegularExpression(QStringLiteral(
                                                           "//www\\.yunpan\\.test:")));
                 },
                 startMs),
             qPrintable(cloud.lastError()));
    // The home page gets its narrower look.
    QVERIFY2(waitUntil(
                 [&] {
                     return cloud
                         .evaluate(QStringLiteral("window.$ && $('div.follow-us').length === 0 && "
                                                  "$('div.container').css('width') === '900px'"))
                         .toBool();
                 },
                 answerMs),
             "the home page was not restyled");

    QVERIFY(
        cloud
            .evaluate(QStringLiteral("$('#username').val('demo'); $('#password').val('demo123');"
                                     "$('#loginForm').submit(); true"))
            .toBool());
    QVERIFY2(waitUntil(
                 [&] {
                     return cloud
                         .evaluate(QStringLiteral("location.pathname.indexOf('/my') === 0 && "
                                                  "window.$ && $('#qm_dl').length === 1"))
                         .toBool();
                 },
                 answerMs),
             "no download controls on the signed-in page");

    const QJsonObject controls =
        cloud
            .evaluate(QStringLiteral(
                "({ toolbar: $('#toolbar').children('[id]').map(function () { return this.id; })"
                ".get().join(' '), all: [$('#qm_dl_all').attr('class'), $('#qm_dl_all').text(),"
                " $('#qm_dl_all svg').length], one: [$('#qm_dl').attr('class'), "
                "$('#qm_dl').text()],"
                " menu: [$('#x-yp-3 ul').children().first().attr('id'), $('#qm_menu_dl').text()],"
                " colour: $('#qm_dl .label').css('color'),"
                " topPanel: $('#topPanel ul, #topPanel div').length })"))
            .toObject();
    QCOMPARE(controls.value("toolbar").toString(),
             QStringLiteral("tbUpload tbNew qm_dl_all qm_dl"));
    QCOMPARE(controls.value("all").toArray(),
             QJsonArray({"y-btn y-btn-gray setting show", "Vantor下载全部", 1}));
    QCOMPARE(controls.value("one").toArray(),
             QJsonArray({"y-btn y-btn-gray qm-dl show", "Vantor下载"}));
    QCOMPARE(controls.value("menu").toArray(), QJsonArray({"qm_menu_dl", "Vantor下载"}));
    QCOMPARE(controls.value("colour").toString(), QStringLiteral("rgb(255, 0, 0)"));
    QCOMPARE(controls.value("topPanel").toInt(), 0);
}

void TestE2EWeb::savePathReachesAria2()
{
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0);
    clickWindow(settingsButton);
    clickWindow(savePathEdit);
    QVERIFY(x.replaceText(saveDir));
    clickWindow(savePathOk);
    QVERIFY2(waitUntil([&] { return configValue("dir") == saveDir.toUtf8(); }, answerMs),
             "the configuration did not follow the save path");
    // The running aria2 follows too, without a restart.
    QVERIFY2(waitUntil(
                 [&] {
                     return rpc(QStringLiteral("aria2.getGlobalOption"), {})
                                .value("result")
                                .toObject()
                                .value("dir")
                                .toString() == saveDir;
                 },
                 answerMs),
             "aria2 kept its old folder");
    QCOMPARE(configValue("rpc-listen-port"), QByteArray::number(rpcPort));

    // Opening the page again starts neither aria2 nor the site anew.
    clickWindow(syncButton);
    QVERIFY(waitUntil(
        [&] { return cloud.evaluate(QStringLiteral("$('#qm_dl').is(':visible')")).toBool(); },
        answerMs));
    QCOMPARE(aria2Pid(), pid);
    QCOMPARE(lab.requestLog().filter(QRegularExpression(QStringLiteral("^cloud GET / "))).size(),
             1);
}

void TestE2EWeb::downloadsFileAndFolders()
{
    // One file, selected with a click, through the toolbar button.
    QVERIFY(clickOn(entry(QStringLiteral("setup (x64).zip"))));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY2(waitForTip(QStringLiteral("添加下载任务成功"), false), "no success message");
    downloaded << QStringLiteral("setup (x64).zip");

    // A folder with a folder inside, through the toolbar button.
    QVERIFY(clickOn(entry(QStringLiteral("我的图片"))));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    // A folder through the context menu, holding the odd name.
    QVERIFY(clickOn(entry(QStringLiteral("我的文档")), QStringLiteral("right")));
    QVERIFY(waitUntil(
        [&] { return cloud.evaluate(QStringLiteral("$('#qm_menu_dl').is(':visible')")).toBool(); },
        answerMs));
    QVERIFY(clickOn(QStringLiteral("#qm_menu_dl")));
    QVERIFY(!cloud.evaluate(QStringLiteral("$('#x-yp-3').is(':visible')")).toBool());

    for (const QString &folder : {QStringLiteral("我的图片"), QStringLiteral("我的文档")}) {
        QDirIterator it(cloudDir + QLatin1Char('/') + folder, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            downloaded << it.next().mid(cloudDir.size() + 1);
    }
    QVERIFY(downloaded.size() >= 6);
    QVERIFY(downloaded.contains(QStringLiteral("我的图片/合影/毕业 合影.png")));
    for (const QString &name : qAsConst(downloaded)) {
        const QByteArray expected = sha256(cloudDir + QLatin1Char('/') + name);
        QVERIFY2(waitUntil(
                     [&] {
                         return sha256(saveDir + QLatin1Char('/') + name) == expected &&
                                !QFileInfo::exists(saveDir + QLatin1Char('/') + name +
                                                   QStringLiteral(".aria2"));
                     },
                     answerMs),
                 qPrintable(QStringLiteral("not downloaded whole: ") + name));
    }

    // The picture: the context menu open with its new first item, no message over the page.
    QVERIFY(waitUntil(
        [&] { return !cloud.evaluate(QStringLiteral("$('#tips').is(':visible')")).toBool(); },
        answerMs));
    QVERIFY(clickOn(entry(QStringLiteral("我的图片")), QStringLiteral("right")));
    QVERIFY(waitUntil(
        [&] { return cloud.evaluate(QStringLiteral("$('#qm_menu_dl').is(':visible')")).toBool(); },
        answerMs));
    saveShot(QStringLiteral("cloud-pane.png"));
    cloud.evaluate(QStringLiteral("yunpan.menuManager.hideAll(); true"));
}

void TestE2EWeb::badAnswersShowInTipsBox()
{
    clickWindow(syncButton);
    // Nothing selected.
    cloud.evaluate(QStringLiteral("$('#list li').removeClass('selected'); true"));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY2(waitForTip(QStringLiteral("请选择需要下载的文件或目录！"), true),
             "no selection message");

    // A folder list that is not JSON.
    QVERIFY(lab.setFaults(
        {{"cloud", QJsonObject{{"malformed_json", "garbage"}, {"opts", QJsonArray{"getList"}}}}}));
    QVERIFY(clickOn(entry(QStringLiteral("我的视频"))));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY2(waitForTip(QStringLiteral("解析目录失败：/我的视频/"), true),
             "no folder list message");
    QVERIFY(lab.setFaults({}));

    // A file gone from the site since the page was listed: the site's own message.
    QVERIFY(QFile::remove(cloudDir + QStringLiteral("/big file 4MB.bin")));
    QVERIFY(clickOn(entry(QStringLiteral("big file 4MB.bin"))));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY2(waitForTip(QStringLiteral("文件不存在"), true), "no message for a missing file");

    // aria2 gone: said so, and nothing claimed; the next opening of the page brings it back.
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0 && ::kill(pid_t(pid), SIGKILL) == 0);
    QVERIFY(waitUntil([&] { return aria2Pid() == 0; }, answerMs));
    QVERIFY(clickOn(entry(QStringLiteral("setup (x64).zip"))));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY2(waitForTip(QStringLiteral("下载引擎不可用"), true), "no message without aria2");
    clickWindow(syncButton);
    QVERIFY2(waitUntil([&] { return aria2Pid() != 0 && aria2Pid() != pid; }, answerMs),
             "aria2 did not come back with the page");
    QVERIFY(!QFileInfo::exists(saveDir + QStringLiteral("/setup (x64).1.zip")));
}

void TestE2EWeb::aria2RefusesWithoutToken()
{
    QVERIFY(waitUntil(
        [&] { return rpc(QStringLiteral("aria2.getVersion"), {}).contains("result"); }, answerMs));
    const auto numbers = [&] {
        const QJsonObject stat =
            rpc(QStringLiteral("aria2.getGlobalStat"), {}).value("result").toObject();
        return stat.value("numActive").toString() + stat.value("numWaiting").toString() +
               stat.value("numStopped").toString();
    };
    const QString before = numbers();

    // The call as a page would make it, JSONP included, only without the token.
    const QJsonArray params{
        QJsonArray{QStringLiteral("http://127.0.0.1:%1/dl/x/y").arg(lab.cloudPort())},
        QJsonObject{{"dir", QStringLiteral("/tmp")}, {"out", "evil.txt"}}};
    HttpSync http(5000);
    const HttpSync::Result jsonp = http.get(HttpSync::url(
        QStringLiteral(
            "http://127.0.0.1:%1/jsonrpc?method=aria2.addUri&id=1&params=%2&jsoncallback=cb")
            .arg(rpcPort)
            .arg(QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(
                QJsonDocument(params).toJson(QJsonDocument::Compact).toBase64()))))));
    QVERIFY2(jsonp.body.startsWith("cb(") && jsonp.body.contains("Unauthorized"),
             jsonp.body.constData());
    QCOMPARE(rpc(QStringLiteral("aria2.addUri"), params, false)
                 .value("error")
                 .toObject()
                 .value("message")
                 .toString(),
             QStringLiteral("Unauthorized"));
    QCOMPARE(numbers(), before);
}

void TestE2EWeb::syncTabListsDownloads()
{
    // One slow download besides the finished ones, to pause, resume and remove.
    const QString slow = QStringLiteral("big file 4MB.bin");
    QVERIFY(lab.setFaults(
        {{"cloud", QJsonObject{{"rate_limit_bytes_per_s", 65536}, {"opts", QJsonArray{"dl"}}}}}));
    QVERIFY(clickOn(entry(slow)));
    QVERIFY(clickOn(QStringLiteral("#qm_dl")));
    QVERIFY(waitForTip(QStringLiteral("添加下载任务成功"), false));

    clickWindow(taskButton);
    clickWindow(syncListButton);
    DevToolsPage webui;
    QVERIFY2(waitUntil(
                 [&] {
                     return webui.attach(
                         devtoolsPort, QRegularExpression(QStringLiteral("/webui/index\\.html$")));
                 },
                 answerMs),
             qPrintable(webui.lastError()));
    // name -> [status, gid] of every row
    QJsonObject rows;
    const auto readRows = [&] {
        rows = webui
                   .evaluate(
                       QStringLiteral("Array.from(document.querySelectorAll('#downloads tbody tr'))"
                                      ".reduce(function (all, r) { all[r.cells[0].textContent] ="
                                      " [r.dataset.status, r.dataset.gid]; return all; }, {})"))
                   .toObject();
    };
    const auto status = [&](const QString &name) {
        readRows();
        return rows.value(name).toArray().at(0).toString();
    };
    const bool all = waitUntil(
        [&] {
            readRows();
            for (const QString &name : qAsConst(downloaded))
                if (rows.value(name).toArray().at(0).toString() != QLatin1String("complete"))
                    return false;
            return rows.value(slow).toArray().at(0).toString() == QLatin1String("active");
        },
        answerMs);
    QVERIFY2(all, QJsonDocument(rows).toJson().constData());
    QVERIFY(webui.evaluate(QStringLiteral("document.getElementById('status').hidden")).toBool());
    saveShot(QStringLiteral("sync-pane.png"));

    const QString gid = rows.value(slow).toArray().at(1).toString();
    const QString row = QStringLiteral("#downloads tr[data-gid='%1'] ").arg(gid);
    QVERIFY(clickOn(webui, row + QStringLiteral("button.pause")));
    QVERIFY(waitUntil([&] { return status(slow) == QLatin1String("paused"); }, answerMs));
    QVERIFY(clickOn(webui, row + QStringLiteral("button.resume")));
    QVERIFY(waitUntil([&] { return status(slow) == QLatin1String("active"); }, answerMs));
    QVERIFY(clickOn(webui, row + QStringLiteral("button.remove")));
    QVERIFY(waitUntil([&] { return status(slow) == QLatin1String("removed"); }, answerMs));
    QVERIFY(clickOn(webui, row + QStringLiteral("button.forget")));
    QVERIFY(waitUntil([&] { return status(slow).isEmpty(); }, answerMs));
    // aria2 itself has forgotten it, not only the page.
    QVERIFY(rpc(QStringLiteral("aria2.tellStatus"), {gid}).contains("error"));
    QVERIFY(lab.setFaults({}));
}

void TestE2EWeb::killedClientTakesAria2Along()
{
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0);
    client.kill();
    QVERIFY(client.waitForFinished(answerMs));
    QVERIFY2(waitUntil([&] { return !isAlive(pid); }, answerMs),
             "aria2 outlived the killed client");
}

QTEST_GUILESS_MAIN(TestE2EWeb)
#include "tst_e2e_web.moc"
