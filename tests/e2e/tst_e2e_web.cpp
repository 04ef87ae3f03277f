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
const QPoint nameField(177, 175), passwordField(177, 214), loginButton(165, 306); // login
const QPoint taskButton(365, 45), syncButton(461, 45), settingsButton(557, 45);   // top bar
const QPoint syncListButton(75, 245);                      // task page, left column
const QPoint savePathEdit(503, 156), savePathOk(251, 206); // settings page

int freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result().toHex()
                                                                 : QByteArray();
}

// From /proc/<pid>/stat ("pid (comm) state ppid ..."): the process's parent while it runs
// (not a zombie), else 0.
qint64 parentWhileAlive(const QString &pid, const QByteArray &name)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    const QList<QByteArray> rest = text.mid(close + 2).split(' ');
    if (close < 0 || rest.size() < 2 || !text.contains('(' + name + ')') ||
        rest.at(0).startsWith('Z'))
        return 0;
    return rest.at(1).toLongLong();
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
    void syncTabListsAndControlsDownloads();
    void aria2RefusesWithoutToken();
    void badAnswersShowInTipsBox();
    void killedClientTakesAria2Along();

private:
    XSession::Window mainWindow();
    void clickWindow(QPoint at);
    QByteArray configValue(const QByteArray &key) const;
    QJsonObject rpc(const QString &method, QJsonArray params, bool withToken = true);
    qint64 aria2Pid();
    // Waits until a JavaScript expression holds in the page.
    bool until(DevToolsPage &page, const QString &expression)
    {
        return waitUntil([&] { return page.evaluate(expression).toBool(); }, answerMs);
    }
    // Clicks the centre of an element (a selector) once nothing lies over it: the site's tips
    // box covers the toolbar for a while after each message.
    bool clickOn(DevToolsPage &page, const QString &selector, const QString &button = "left");
    bool clickOn(const QString &selector, const QString &button = "left")
    {
        return clickOn(cloud, selector, button);
    }
    // The size column of a list entry: its name is a link that opens a folder.
    static QString entry(const QString &name)
    {
        return QStringLiteral("#list li[data-title=%1] .size").arg(jsString(name));
    }
    bool waitForTip(const QString &text, bool error);
    void saveShot(const QString &name);

    LabProcess lab;
    XSession x;
    QProcess client;
    DevToolsPage cloud;
    QString work, home, saveDir, cloudDir;
    int rpcPort = 0, devtoolsPort = 0;
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

    // aria2 on a free port, set in the configuration as a user may (a line the program keeps),
    // so that parallel runs never meet on the product's port.
    rpcPort = freePort();
    devtoolsPort = freePort();
    QVERIFY(rpcPort > 0 && devtoolsPort > 0);
    QFile templ(qEnvironmentVariable("KELVORA_BIN_DIR") + QStringLiteral("/aria2.conf"));
    QVERIFY(templ.open(QIODevice::ReadOnly));
    QByteArray conf = templ.readAll();
    QVERIFY(conf.contains("\nrpc-listen-port=6800\n"));
    conf.replace("rpc-listen-port=6800", "rpc-listen-port=" + QByteArray::number(rpcPort));
    QFile own(home + QStringLiteral("/kelvora/aria2.conf"));
    QVERIFY(own.open(QIODevice::WriteOnly) && own.write(conf) == conf.size());
    own.close();

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("KELVORA_ACCOUNT_SERVICE"), lab.accountUrl());
    env.insert(QStringLiteral("KELVORA_DEVICE_MANAGER"), lab.accountUrl());
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
    QVERIFY(client.waitForStarted(startMs));

    XSession::Window dialog;
    const auto findDialog = [&] {
        for (const XSession::Window &w : x.windows(client.processId(), mainTitle))
            if (w.geometry.size() == QSize(330, 364))
                dialog = w;
        return dialog.isValid();
    };
    QVERIFY2(waitUntil(findDialog, startMs), "no login dialog");
    const QPoint at = dialog.geometry.topLeft();
    QVERIFY(x.click(at.x() + nameField.x(), at.y() + nameField.y()));
    QVERIFY(x.replaceText(QStringLiteral("demo")));
    QVERIFY(x.click(at.x() + passwordField.x(), at.y() + passwordField.y()));
    QVERIFY(x.replaceText(QStringLiteral("demo123")));
    QVERIFY(x.click(at.x() + loginButton.x(), at.y() + loginButton.y()));
    QVERIFY2(waitUntil([&] { return mainWindow().isValid(); }, answerMs), "no main window");
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
    QByteArray value;
    if (file.open(QIODevice::ReadOnly))
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
    QList<qint64> found;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (parentWhileAlive(pid, "aria2c") == client.processId())
            found << pid.toLongLong();
    return found.size() == 1 ? found.first() : 0;
}

bool TestE2EWeb::clickOn(DevToolsPage &page, const QString &selector, const QString &button)
{
    QJsonArray at;
    const QString where =
        QStringLiteral("(function () { var s = %1;"
                       " var e = window.jQuery ? jQuery(s)[0] : document.querySelector(s);"
                       " if (!e) return null; var r = e.getBoundingClientRect();"
                       " var x = r.left + r.width / 2, y = r.top + r.height / 2;"
                       " var hit = document.elementFromPoint(x, y);"
                       " return hit && (hit === e || e.contains(hit)) ? [x, y] : null; })()")
            .arg(jsString(selector));
    if (!waitUntil([&] { return (at = page.evaluate(where).toArray()).size() == 2; }, answerMs)) {
        qWarning("%s: not there or covered", qPrintable(selector));
        return false;
    }
    return page.click(QPointF(at.at(0).toDouble(), at.at(1).toDouble()), button);
}

bool TestE2EWeb::waitForTip(const QString &text, bool error)
{
    return until(cloud, QStringLiteral("$('#tips').text().indexOf(%1) === 0 && "
                                       "$('#tips').hasClass('error') === %2")
                            .arg(jsString(text), error ? "true" : "false"));
}

void TestE2EWeb::saveShot(const QString &name)
{
    const QImage window = x.grab().copy(mainWindow().geometry);
    QVERIFY(window.save(work + QLatin1Char('/') + name));
    const QString docs = qEnvironmentVariable("KELVORA_E2E_SCREENSHOT_DIR");
    if (!docs.isEmpty())
        QVERIFY(window.save(docs + QLatin1Char('/') + name));
}

void TestE2EWeb::cloudPaneGetsControls()
{
    clickWindow(syncButton);
    QVERIFY2(waitUntil([&] { return aria2Pid() != 0; }, answerMs), "aria2 did not start");
    const QRegularExpression site(QStringLiteral("//www\\.yunpan\\.test:"));
    QVERIFY2(waitUntil([&] { return cloud.attach(devtoolsPort, site); }, startMs),
             qPrintable(cloud.lastError()));
    QVERIFY2(until(cloud, "window.$ && $('div.follow-us').length === 0 && "
                          "$('div.container').css('width') === '900px'"),
             "the home page was not restyled");

    cloud.evaluate("$('#username').val('demo'); $('#password').val('demo123');"
                   "$('#loginForm').submit(); true");
    QVERIFY2(until(cloud, "location.pathname.indexOf('/my') === 0 && window.$ && "
                          "$('#qm_dl').length === 1"),
             "no download controls on the signed-in page");
    const QJsonObject controls =
        cloud
            .evaluate("({ toolbar: $('#toolbar').children('[id]').map(function () {"
                      " return this.id; }).get().join(' '),"
                      " all: [$('#qm_dl_all').attr('class'), $('#qm_dl_all').text(),"
                      " $('#qm_dl_all svg').length],"
                      " one: [$('#qm_dl').attr('class'), $('#qm_dl').text()],"
                      " menu: [$('#x-yp-3 ul').children().first().attr('id'),"
                      " $('#qm_menu_dl').text()], colour: $('#qm_dl .label').css('color'),"
                      " topPanel: $('#topPanel ul, #topPanel div').length })")
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
    const auto aria2Dir = [&] {
        return rpc("aria2.getGlobalOption", {}).value("result").toObject().value("dir").toString();
    };
    QVERIFY2(waitUntil([&] { return aria2Dir() == saveDir; }, answerMs), "aria2 kept its folder");
    QCOMPARE(configValue("rpc-listen-port"), QByteArray::number(rpcPort));
    // Only its owner may read the secret.
    QCOMPARE(QFileInfo(home + QStringLiteral("/kelvora/aria2.conf")).permissions() & 0x0077,
             QFileDevice::Permissions());

    // Opening the page again starts neither aria2 nor the site anew.
    clickWindow(syncButton);
    QVERIFY(until(cloud, "$('#qm_dl').is(':visible')"));
    QCOMPARE(aria2Pid(), pid);
    QCOMPARE(lab.requestLog().filter(QRegularExpression(QStringLiteral("^cloud GET / "))).size(),
             1);
}

void TestE2EWeb::downloadsFileAndFolders()
{
    // One file, selected with a click, through the toolbar button.
    QVERIFY(clickOn(entry("setup (x64).zip")));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY2(waitForTip("添加下载任务成功", false), "no success message");
    downloaded << QStringLiteral("setup (x64).zip");
    // A folder with a folder inside, through the toolbar button; one with the odd name
    // through the context menu.
    QVERIFY(clickOn(entry("我的图片")));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY(clickOn(entry("我的文档"), "right"));
    QVERIFY(clickOn("#qm_menu_dl"));
    QVERIFY(!cloud.evaluate("$('#x-yp-3').is(':visible')").toBool());

    for (const char *folder : {"我的图片", "我的文档"}) {
        QDirIterator it(cloudDir + QLatin1Char('/') + QString::fromUtf8(folder), QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            downloaded << it.next().mid(cloudDir.size() + 1);
    }
    QVERIFY(downloaded.contains(QStringLiteral("我的图片/合影/毕业 合影.png")));
    QVERIFY(downloaded.contains(QStringLiteral("我的文档/引号 \"甲\" <乙> & 丙.txt")));
    for (const QString &name : qAsConst(downloaded)) {
        const QByteArray expected = sha256(cloudDir + QLatin1Char('/') + name);
        const QString saved = saveDir + QLatin1Char('/') + name;
        QVERIFY2(waitUntil(
                     [&] {
                         return sha256(saved) == expected &&
                                !QFileInfo::exists(saved + QStringLiteral(".aria2"));
                     },
                     answerMs),
                 qPrintable(QStringLiteral("not downloaded whole: ") + name));
    }

    // The picture: the context menu open with its new first item, no message over the page.
    QVERIFY(until(cloud, "!$('#tips').is(':visible')"));
    QVERIFY(clickOn(entry("我的图片"), "right"));
    QVERIFY(until(cloud, "$('#qm_menu_dl').is(':visible')"));
    saveShot(QStringLiteral("cloud-pane.png"));
    cloud.evaluate("yunpan.menuManager.hideAll(); true");
}

void TestE2EWeb::syncTabListsAndControlsDownloads()
{
    // One slow download besides the finished ones, to pause, resume and remove.
    const QString slow = QStringLiteral("big file 4MB.bin");
    QVERIFY(lab.setFaults(
        {{"cloud", QJsonObject{{"rate_limit_bytes_per_s", 65536}, {"opts", QJsonArray{"dl"}}}}}));
    QVERIFY(clickOn(entry(slow)));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY(waitForTip("添加下载任务成功", false));

    clickWindow(taskButton);
    clickWindow(syncListButton);
    DevToolsPage webui;
    const QRegularExpression page(QStringLiteral("/webui/index\\.html$"));
    QVERIFY2(waitUntil([&] { return webui.attach(devtoolsPort, page); }, answerMs),
             qPrintable(webui.lastError()));
    QJsonObject rows; // name -> [status, gid]
    const auto status = [&](const QString &name) {
        rows = webui
                   .evaluate("Array.from(document.querySelectorAll('#downloads tbody tr'))"
                             ".reduce(function (all, r) { all[r.cells[0].textContent] ="
                             " [r.dataset.status, r.dataset.gid]; return all; }, {})")
                   .toObject();
        return rows.value(name).toArray().at(0).toString();
    };
    const auto listed = [&] {
        for (const QString &name : qAsConst(downloaded))
            if (status(name) != QLatin1String("complete"))
                return false;
        return status(slow) == QLatin1String("active");
    };
    QVERIFY2(waitUntil(listed, answerMs), QJsonDocument(rows).toJson().constData());
    QVERIFY(webui.evaluate("document.getElementById('status').hidden").toBool());
    saveShot(QStringLiteral("sync-pane.png"));

    const QString gid = rows.value(slow).toArray().at(1).toString();
    const QString row = QStringLiteral("#downloads tr[data-gid='%1'] button.").arg(gid);
    for (const char *step : {"pause paused", "resume active", "remove removed", "forget "}) {
        const QStringList action = QString::fromLatin1(step).split(QLatin1Char(' '));
        QVERIFY(clickOn(webui, row + action.at(0)));
        QVERIFY2(waitUntil([&] { return status(slow) == action.at(1); }, answerMs), step);
    }
    // aria2 itself has forgotten it, not only the page.
    QVERIFY(rpc("aria2.tellStatus", {gid}).contains("error"));
    QVERIFY(lab.setFaults({}));
}

void TestE2EWeb::aria2RefusesWithoutToken()
{
    const auto numbers = [&] {
        const QJsonObject stat = rpc("aria2.getGlobalStat", {}).value("result").toObject();
        return stat.value("numActive").toString() + stat.value("numWaiting").toString() +
               stat.value("numStopped").toString();
    };
    const QString before = numbers();
    QVERIFY(!before.isEmpty());
    // The call as a page would make it, JSONP included, only without the token.
    const QJsonArray params{
        QJsonArray{QStringLiteral("http://127.0.0.1:%1/dl/x/y").arg(lab.cloudPort())},
        QJsonObject{{"dir", "/tmp"}, {"out", "evil.txt"}}};
    const QByteArray base64 = QJsonDocument(params).toJson(QJsonDocument::Compact).toBase64();
    HttpSync http(5000);
    const HttpSync::Result jsonp = http.get(HttpSync::url(
        QStringLiteral("http://127.0.0.1:%1/jsonrpc?method=aria2.addUri&id=1&params=%2"
                       "&jsoncallback=cb")
            .arg(rpcPort)
            .arg(QString::fromLatin1(base64.toPercentEncoding()))));
    QVERIFY2(jsonp.body.startsWith("cb(") && jsonp.body.contains("\"Unauthorized\""),
             jsonp.body.constData());
    const QJsonObject plain = rpc("aria2.addUri", params, false);
    QCOMPARE(plain.value("error").toObject().value("message").toString(),
             QStringLiteral("Unauthorized"));
    QCOMPARE(numbers(), before);
}

void TestE2EWeb::badAnswersShowInTipsBox()
{
    clickWindow(syncButton);
    // Nothing selected.
    cloud.evaluate("$('#list li').removeClass('selected'); true");
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY2(waitForTip("请选择需要下载的文件或目录！", true), "no selection message");

    // A folder list that is not JSON.
    QVERIFY(lab.setFaults(
        {{"cloud", QJsonObject{{"malformed_json", "garbage"}, {"opts", QJsonArray{"getList"}}}}}));
    QVERIFY(clickOn(entry("我的视频")));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY2(waitForTip("解析目录失败：/我的视频/", true), "no folder list message");
    QVERIFY(lab.setFaults({}));

    // A file gone from the site since the page was listed: the site's own message.
    QVERIFY(QFile::remove(cloudDir + QStringLiteral("/big file 4MB.bin")));
    QVERIFY(clickOn(entry("big file 4MB.bin")));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY2(waitForTip("文件不存在", true), "no message for a missing file");

    // aria2 gone: said so, nothing claimed; the next opening of the page brings it back.
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0 && ::kill(pid_t(pid), SIGKILL) == 0);
    QVERIFY(waitUntil([&] { return aria2Pid() == 0; }, answerMs));
    QVERIFY(clickOn(entry("setup (x64).zip")));
    QVERIFY(clickOn("#qm_dl"));
    QVERIFY2(waitForTip("下载引擎不可用", true), "no message without aria2");
    clickWindow(syncButton);
    QVERIFY2(waitUntil([&] { return aria2Pid() != 0 && aria2Pid() != pid; }, answerMs),
             "aria2 did not come back with the page");
    QVERIFY(waitUntil([&] { return rpc("aria2.getVersion", {}).contains("result"); }, answerMs));
}

void TestE2EWeb::killedClientTakesAria2Along()
{
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0);
    client.kill();
    QVERIFY(client.waitForFinished(answerMs));
    QVERIFY2(
        waitUntil([&] { return parentWhileAlive(QString::number(pid), "aria2c") == 0; }, answerMs),
        "aria2 outlived the killed client");
}

QTEST_GUILESS_MAIN(TestE2EWeb)
#include "tst_e2e_web.moc"
