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

#include <QCryptographicHash>
#include <QJsonArray>
#include <QTcpServer>
#include <QtTest>

#include <csignal>

namespace {

const int startMs = ClientSession::startMs, answerMs = ClientSession::answerMs;

// Positions inside the main window, from its fixed layout.
const QPoint taskButton(365, 45), syncButton(461, 45), settingsButton(557, 45); // top bar
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

// From /proc/<pid>/stat ("pid (comm) state ppid ..."): the parent of a running (not zombie)
// aria2c, else 0.
qint64 aria2Parent(const QString &pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    const QByteArray text = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    const QList<QByteArray> rest = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return text.contains("(aria2c)") && rest.size() > 1 && !rest.at(0).startsWith('Z')
               ? rest.at(1).toLongLong()
               : 0;
}

QString jsString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

// The size column of a list entry (its name is a link that opens a folder).
QString entry(const QString &name)
{
    return QStringLiteral("#list li[data-title=%1] .size").arg(jsString(name));
}

} // namespace

class TestE2EWeb : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { endProcess(client); }
    void cleanup()
    {
        if (QTest::currentTestFailed())
            s.reportFailure();
    }

    void cloudPaneGetsControls();
    void savePathReachesAria2();
    void downloadsFileAndFolders();
    void syncTabListsAndControlsDownloads();
    void aria2RefusesWithoutToken();
    void badAnswersShowInTipsBox();
    void killedClientTakesAria2Along();

private:
    void clickWindow(QPoint at) { QVERIFY(s.x.click(s.mainWindow(client), at)); }
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
    // Selects a list entry, presses Vantor下载 and waits for the tips box to begin with `tip`.
    bool download(const QString &name, const QString &tip, bool error = true)
    {
        return clickOn(entry(name)) && clickOn("#qm_dl") && waitForTip(tip, error);
    }
    bool waitForTip(const QString &text, bool error)
    {
        return until(cloud, QStringLiteral("$('#tips').text().indexOf(%1) === 0 && "
                                           "$('#tips').hasClass('error') === %2")
                                .arg(jsString(text), error ? "true" : "false"));
    }

    ClientSession s;
    QProcess client;
    DevToolsPage cloud;
    QString home, saveDir, cloudDir;
    int rpcPort = 0, devtoolsPort = 0;
    QStringList downloaded; // paths below the save folder
};

void TestE2EWeb::initTestCase()
{
    QVERIFY2(s.start({{"cloud", QJsonObject{{"download_host", "127.0.0.1"}}}}),
             qPrintable(s.lastError()));
    // A home folder with a blank: the configuration path must reach aria2 whole.
    home = s.work + QStringLiteral("/home dir");
    saveDir = s.work + QStringLiteral("/save folder");
    QVERIFY(QDir().mkpath(home + QStringLiteral("/kelvora")) && QDir().mkpath(saveDir));
    cloudDir = s.lab.sampleDir() + QStringLiteral("/cloud/demo");
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

    QProcessEnvironment env;
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("KELVORA_CLOUD_SITE"),
               QStringLiteral("http://www.yunpan.test:%1/").arg(s.lab.cloudPort()));
    env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
               QStringLiteral("--host-resolver-rules=\"MAP *.yunpan.test 127.0.0.1\""));
    env.insert(QStringLiteral("QTWEBENGINE_REMOTE_DEBUGGING"),
               QStringLiteral("127.0.0.1:%1").arg(devtoolsPort));
    QVERIFY(s.startClient(client, QStringLiteral("client-web.log"), env));
    QVERIFY2(waitUntil([&] { return s.loginDialog(client).isValid(); }, startMs),
             "no login dialog");
    QVERIFY(s.typeSignIn(s.loginDialog(client), QStringLiteral("demo"), QStringLiteral("demo123")));
    QVERIFY2(waitUntil([&] { return s.mainWindow(client).isValid(); }, answerMs), "no main window");
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
    return HttpSync(5000)
        .post(QUrl(QStringLiteral("http://127.0.0.1:%1/jsonrpc").arg(rpcPort)),
              QJsonDocument(call).toJson(), "application/json")
        .json();
}

qint64 TestE2EWeb::aria2Pid()
{
    QList<qint64> found;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs))
        if (aria2Parent(pid) == client.processId())
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
    // The two buttons after the site's own, the menu item first; the home page's panels gone.
    const QJsonArray controls =
        cloud
            .evaluate("[$('#toolbar').children('[id]').map(function () { return this.id; })"
                      ".get().join(' '), $('#qm_dl_all').text(), $('#qm_dl').text(),"
                      " $('#x-yp-3 ul').children().first().text(),"
                      " $('#topPanel ul, #topPanel div').length]")
            .toArray();
    QCOMPARE(controls, QJsonArray({"tbUpload tbNew qm_dl_all qm_dl", "Vantor下载全部", "Vantor下载",
                                   "Vantor下载", 0}));
}

void TestE2EWeb::savePathReachesAria2()
{
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0);
    clickWindow(settingsButton);
    clickWindow(savePathEdit);
    QVERIFY(s.x.replaceText(saveDir));
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
    QCOMPARE(s.lab.requestLog().filter(QRegularExpression(QStringLiteral("^cloud GET / "))).size(),
             1);
}

void TestE2EWeb::downloadsFileAndFolders()
{
    // One file, selected with a click, through the toolbar button.
    QVERIFY2(download("setup (x64).zip", "添加下载任务成功", false), "no success message");
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
    QVERIFY(s.saveShot(s.mainWindow(client), QStringLiteral("cloud-pane.png")));
    cloud.evaluate("yunpan.menuManager.hideAll(); true");
}

void TestE2EWeb::syncTabListsAndControlsDownloads()
{
    // One slow download besides the finished ones, to pause, resume and remove.
    const QString slow = QStringLiteral("big file 4MB.bin");
    QVERIFY(s.lab.setFaults(
        {{"cloud", QJsonObject{{"rate_limit_bytes_per_s", 65536}, {"opts", QJsonArray{"dl"}}}}}));
    QVERIFY(download(slow, "添加下载任务成功", false));

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
    QVERIFY(s.saveShot(s.mainWindow(client), QStringLiteral("sync-pane.png")));

    const QString gid = rows.value(slow).toArray().at(1).toString();
    const QString row = QStringLiteral("#downloads tr[data-gid='%1'] button.").arg(gid);
    for (const char *step : {"pause paused", "resume active", "remove removed", "forget "}) {
        const QStringList action = QString::fromLatin1(step).split(QLatin1Char(' '));
        QVERIFY(clickOn(webui, row + action.at(0)));
        QVERIFY2(waitUntil([&] { return status(slow) == action.at(1); }, answerMs), step);
    }
    // aria2 itself has forgotten it, not only the page.
    QVERIFY(rpc("aria2.tellStatus", {gid}).contains("error"));
    QVERIFY(s.lab.setFaults({}));
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
    // The call as a page would make it, only without the token.
    const QJsonArray params{
        QJsonArray{QStringLiteral("http://127.0.0.1:%1/dl/x/y").arg(s.lab.cloudPort())},
        QJsonObject{{"dir", "/tmp"}, {"out", "evil.txt"}}};
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
    QVERIFY(s.lab.setFaults(
        {{"cloud", QJsonObject{{"malformed_json", "garbage"}, {"opts", QJsonArray{"getList"}}}}}));
    QVERIFY2(download("我的视频", "解析目录失败：/我的视频/"), "no folder list message");
    QVERIFY(s.lab.setFaults({}));

    // A file gone from the site since the page was listed: the site's own message.
    QVERIFY(QFile::remove(cloudDir + QStringLiteral("/big file 4MB.bin")));
    QVERIFY2(download("big file 4MB.bin", "文件不存在"), "no message for a missing file");

    // aria2 gone: said so, nothing claimed; the next opening of the page brings it back.
    const qint64 pid = aria2Pid();
    QVERIFY(pid != 0 && ::kill(pid_t(pid), SIGKILL) == 0);
    QVERIFY(waitUntil([&] { return aria2Pid() == 0; }, answerMs));
    QVERIFY2(download("setup (x64).zip", "下载引擎不可用"), "no message without aria2");
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
    QVERIFY2(waitUntil([&] { return aria2Parent(QString::number(pid)) == 0; }, answerMs),
             "aria2 outlived the killed client");
}

QTEST_GUILESS_MAIN(TestE2EWeb)
#include "tst_e2e_web.moc"
