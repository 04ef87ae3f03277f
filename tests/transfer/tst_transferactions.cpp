// The main window's transfer actions against the lab's LAN device: downloads of a selection
// (names that clash or are hostile, an entry without a picture, a disk without room), the rows
// and totals as they finish, uploads from the file dialog and by drop, pause-all and
// cancel-all, failures and their reasons (a disk that fills up), the recent files, the cloud
// page's keys.
#include "../account/toastprobe.h"
#include "app/extensions.h"
#include "app/transferactions.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/filepaths.h"
#include "store/database.h"
#include "tests/support/windowdriver.h"
#include "transfer/recentfile.h"
#include "transfer/tasklistitemwidget.h"
#include "transfer/tasklistwidget.h"
#include "transfer/taskmanager.h"
#include "transferlabtest.h"

#include <QCheckBox>
#include <QDropEvent>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QtTest>

namespace {

const int waitMs = 60000;

// Answers the questions of the transfer actions as a test tells it to.
class Answers : public TransferDialogs
{
public:
    QStringList files;
    QString destination;
    QString folder;
    bool yes = true;
    QStringList asked;

    QStringList uploadFiles(QWidget *) override { return files; }
    bool uploadDestination(QWidget *, DeviceItem *, QString *chosen) override
    {
        *chosen = destination;
        return !destination.isEmpty();
    }
    QString saveFolder(QWidget *, const QString &start) override
    {
        asked << "save from " + start;
        return folder;
    }
    bool confirm(QWidget *, const QString &text) override
    {
        asked << text;
        return yes;
    }
};

} // namespace

class TestTransferActions : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void downloadsLandInTheFolder();
    void uploadsFromDialogAndDrop();
    void pauseCancelAndFailure();
    void keys();
    void fullDiskSaysSo();
    void aBurstOfFinishesQueuesFewToasts();

private:
    template <typename T = QWidget> T *child(const char *name)
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    bool listFolder(const QString &devicePath);
    QStringList recentNames();
    QString sda1() const { return lab.device(kDev1).value("root").toString() + "/sda1"; }

    LabProcess lab;
    MainWidget *window = nullptr;
    TransferActions *actions = nullptr;
    TaskManager *manager = nullptr;
    Explorer *explorer = nullptr;
    Answers answers;
};

void TestTransferActions::initTestCase()
{
    fillExtensionSets();
    QVERIFY2(lab.startSample(), qPrintable(lab.lastError()));
    answerDiscoveryFrom(lab, kDev1);
    QDir::setCurrent(QDir::homePath());
}

void TestTransferActions::init()
{
    while (MessageBox *toast = MessageBox::queueHead())
        delete toast;
    window = new MainWidget;
    window->show();
    actions = window->findChild<TransferActions *>();
    manager = window->findChild<TaskManager *>();
    explorer = child<Explorer>("fileListWidget");
    QVERIFY(actions && manager);
    actions->setDialogs(&answers);
    answers = Answers();
    QVERIFY(chooseLanDevice(*window, kDev1));
}

void TestTransferActions::cleanup()
{
    delete window;
    window = nullptr;
}

bool TestTransferActions::listFolder(const QString &devicePath)
{
    QSignalSpy loaded(explorer, &FileListWidget::loadFinished);
    // The first listing, of the top folder, tells the explorer where the top is.
    if (explorer->total == -1) {
        window->cloudLeftButtonClicked(1);
        if (!loaded.wait(waitMs))
            return false;
        loaded.clear();
    }
    explorer->queryDir(FilePaths::encode(devicePath));
    return loaded.wait(waitMs) && loaded.at(0).at(0).toBool();
}

QStringList TestTransferActions::recentNames()
{
    auto *recent = child<RecentFile>("recentTableWidget");
    QStringList names;
    for (int row = 0; row < recent->rowCount(); ++row)
        if (!recent->localPathAt(row).isEmpty())
            names << recent->item(row, 0)->text();
    return names;
}

void TestTransferActions::downloadsLandInTheFolder()
{
    // On the device: names that clash locally, that hold a backslash or are only dots.
    QVERIFY(QDir().mkpath(sda1() + "/取回/子目录"));
    const QByteArray archive = pseudoRandom(300 * 1024, 1);
    QVERIFY(writeFile(sda1() + "/取回/a.tar.gz", archive));
    QVERIFY(writeFile(sda1() + "/取回/b c.txt", "plain"));
    QVERIFY(writeFile(sda1() + "/取回/x\\..\\y.txt", "slashes"));
    // Here: a.tar.gz exists, and so does the unfinished a(1).tar.gz.
    QTemporaryDir home;
    const QString folder = home.filePath("下载 目录");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + "/a.tar.gz", "old"));
    QVERIFY(writeFile(folder + "/a(1).tar.gz.vbxdl", "part"));

    QVERIFY(listFolder("/media/sda1/取回"));
    QCOMPARE(explorer->count(), 4);
    // One tile shows no picture: its file still downloads, only without the flying mark.
    qobject_cast<FileItemIcon *>(
        explorer->itemWidget(explorer->item(rowNamed(explorer, "b c.txt"))))
        ->iconLabel()
        ->clear();
    // Nothing fits on a disk of that size: nothing is queued and the toast says how much lacks.
    QListWidgetItem *archiveItem = explorer->item(rowNamed(explorer, "a.tar.gz"));
    archiveItem->setData(SizeRole, quint64(1) << 60);
    QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(explorer->selectedItems().size(), 4);
    answers.folder = folder;
    child<QPushButton>("downloadButton")->click();
    QCOMPARE(manager->downloadList().size(), 0);
    QVERIFY(toastsStarting("磁盘空间不足，还差") > 0);
    archiveItem->setData(SizeRole, quint64(archive.size()));

    child<QPushButton>("downloadButton")->click();
    QCOMPARE(answers.asked.last(), "save from " + folder);
    QCOMPARE(QSettings("Vantor Network", "Tovrik").value("client/settings/lastsavepath").toString(),
             folder);
    // The folder is skipped; each file is queued, in list order.
    QCOMPARE(manager->downloadList().size(), 3);
    QStringList locals;
    for (const Task *task : manager->downloadList())
        locals << task->localPath();
    QCOMPARE(locals,
             QStringList({folder + "/a(2).tar.gz", folder + "/b c.txt", folder + "/x_.._y.txt"}));

    auto *downloads = child<TaskListWidget>("downloadListWidget");
    QTRY_COMPARE_WITH_TIMEOUT(downloads->completedCount(), 3, waitMs);
    QCOMPARE(downloads->completedHeaderRow(), 0);
    QCOMPARE(readFile(folder + "/a(2).tar.gz"), archive);
    QCOMPARE(readFile(folder + "/x_.._y.txt"), QByteArray("slashes"));
    QCOMPARE(readFile(folder + "/a.tar.gz"), QByteArray("old"));
    QVERIFY(findToast("文件 a.tar.gz 下载完成"));
    QCOMPARE(child<QLabel>("label_totalDownProgress")->text(),
             QString("下载进度：100% 共3个文件，还剩0个文件"));
    QVERIFY(!child("btn_pauseAllDownload")->isHidden());
    // Nothing was written beside the chosen folder.
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{"下载 目录"});

    // The recent files list the finished ones; clearing the section keeps them there.
    QTRY_COMPARE(recentNames().size(), 3);
    QVERIFY(recentNames().contains("a(2).tar.gz"));
    downloads->clearCompleted();
    QCOMPARE(downloads->count(), 0);
    QVERIFY(manager->downloadList().isEmpty());
    QVERIFY(child("btn_pauseAllDownload")->isHidden());
    window->cloudLeftButtonClicked(0);
    QCOMPARE(recentNames().size(), 3);
    // Clearing the recent files asks first.
    answers.yes = false;
    child<QPushButton>("clearRecentButton")->click();
    QCOMPARE(answers.asked.last(), QString("确认清空最近记录吗？"));
    QCOMPARE(recentNames().size(), 3);
    answers.yes = true;
    child<QPushButton>("clearRecentButton")->click();
    QCOMPARE(recentNames().size(), 0);
    QCOMPARE(GetRecentFiles().size(), 0);
}

void TestTransferActions::uploadsFromDialogAndDrop()
{
    QTemporaryDir here;
    const QByteArray one = pseudoRandom(200 * 1024, 2);
    QVERIFY(writeFile(here.filePath("上传 一.bin"), one));
    QVERIFY(QDir().mkpath(here.filePath("拖放/inner")));
    QVERIFY(writeFile(here.filePath("拖放/二 '&'.txt"), "two"));
    QVERIFY(writeFile(here.filePath("拖放/三.txt"), "three"));
    QVERIFY(writeFile(here.filePath("拖放/inner/not-this.txt"), "deep"));
    QVERIFY(QDir().mkpath(sda1() + "/收件"));

    auto *pages = child<QStackedWidget>("taskStackedWidget");
    pages->setCurrentIndex(1);
    answers.files = QStringList{here.filePath("上传 一.bin")};
    answers.destination = "/media/sda1/收件";
    child<QPushButton>("uploadButton")->click();
    QCOMPARE(manager->uploadList().size(), 1);
    QCOMPARE(pages->currentIndex(), 0); // the upload list is shown

    // A drop of a folder and a remote link: the folder's own files go up, nothing else.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(here.filePath("拖放")), QUrl("http://example.invalid/x")});
    QWidget *cloud = child("cloud");
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(cloud, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(cloud, &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(manager->uploadList().size(), 3);

    auto *uploads = child<TaskListWidget>("uploadListWidget");
    QTRY_COMPARE_WITH_TIMEOUT(uploads->completedCount(), 3, waitMs);
    QCOMPARE(readFile(sda1() + "/收件/上传 一.bin"), one);
    QCOMPARE(readFile(sda1() + "/收件/二 '&'.txt"), QByteArray("two"));
    QCOMPARE(readFile(sda1() + "/收件/三.txt"), QByteArray("three"));
    QVERIFY(!QFileInfo::exists(sda1() + "/收件/not-this.txt"));
    QVERIFY(findToast("文件 三.txt 上传完成"));
    QCOMPARE(child<QLabel>("label_TotalUpProgress")->text(),
             QString("上传进度：100% 共3个文件，还剩0个文件"));
}

void TestTransferActions::pauseCancelAndFailure()
{
    QVERIFY(writeFile(sda1() + "/slow.bin", pseudoRandom(2 * 1024 * 1024, 3)));
    QVERIFY(writeFile(sda1() + "/gone.bin", pseudoRandom(512 * 1024, 4)));
    QVERIFY(lab.setFaults({{kDev1, QJsonObject{{"rate_limit_bytes_per_s", 100000}}}}));
    QTemporaryDir here;
    QVERIFY(listFolder("/media/sda1"));
    explorer->item(rowNamed(explorer, "slow.bin"))->setSelected(true);
    explorer->item(rowNamed(explorer, "gone.bin"))->setSelected(true);
    answers.folder = here.path();
    window->downloadButtonClicked();
    QCOMPARE(manager->downloadList().size(), 2);
    Task *slow = manager->downloadList().at(1);
    Task *gone = manager->downloadList().at(0);
    QCOMPARE(QFileInfo(slow->localPath()).fileName(), QString("slow.bin"));
    QTRY_COMPARE_WITH_TIMEOUT(gone->status(), int(Task::Running), waitMs);
    // Pause all: the running one and the queued one stop.
    child<QPushButton>("btn_pauseAllDownload")->click();
    QTRY_COMPARE(gone->status(), int(Task::Paused));
    QCOMPARE(slow->status(), int(Task::Paused));

    // The file went from the device meanwhile: the task fails and its row says why.
    QVERIFY(QFile::remove(sda1() + "/gone.bin"));
    QVERIFY(lab.setFaults(QJsonObject()));
    gone->queue();
    QTRY_COMPARE_WITH_TIMEOUT(gone->status(), int(Task::Failed), waitMs);
    auto *downloads = child<TaskListWidget>("downloadListWidget");
    QCOMPARE(downloads->itemWidget(gone->listItem())->toolTip(),
             QString("下载失败：设备上没有这个文件"));

    // Cancel all asks first; declined, nothing changes; accepted, both go with their parts.
    QVERIFY(lab.setFaults({{kDev1, QJsonObject{{"rate_limit_bytes_per_s", 100000}}}}));
    slow->queue();
    QTRY_COMPARE_WITH_TIMEOUT(slow->status(), int(Task::Running), waitMs);
    const QString slowId = slow->idText();
    const QString part = slow->tempPath();
    answers.yes = false;
    child<QPushButton>("btn_cancelAllDownload")->click();
    QCOMPARE(answers.asked.last(), QString("确定要取消全部下载任务？"));
    QCOMPARE(manager->downloadList().size(), 2);
    answers.yes = true;
    child<QPushButton>("btn_cancelAllDownload")->click();
    QVERIFY(manager->downloadList().isEmpty());
    QCOMPARE(downloads->count(), 0);
    QVERIFY(storedRow(0, slowId).isEmpty());
    QVERIFY(!QFileInfo::exists(part));
    QVERIFY(child("label_totalDownProgress")->isHidden());
    QVERIFY(lab.setFaults(QJsonObject()));
}

void TestTransferActions::keys()
{
    QVERIFY(QDir().mkpath(sda1() + "/键/里面"));
    QVERIFY(writeFile(sda1() + "/键/删我.txt", "x"));
    QVERIFY(listFolder("/media/sda1/键"));
    const auto requests = [this](const QString &part) { return lab.requestsSince(0, {part}); };
    const int listed = requests("opt=querydir");
    QTest::keyClick(window, Qt::Key_F5);
    QTRY_COMPARE(requests("opt=querydir"), listed + 1);
    QTRY_COMPARE(explorer->count(), 2);

    // Enter opens the folder selected, Backspace goes back up.
    explorer->setCurrentItem(explorer->item(rowNamed(explorer, "里面")));
    QSignalSpy loaded(explorer, &FileListWidget::loadFinished);
    QTest::keyClick(window, Qt::Key_Return);
    QVERIFY(loaded.wait(waitMs));
    QCOMPARE(FilePaths::decode(explorer->currentPath), QString("/media/sda1/键/里面"));
    QTest::keyClick(window, Qt::Key_Backspace);
    QVERIFY(loaded.wait(waitMs));
    QCOMPARE(FilePaths::decode(explorer->currentPath), QString("/media/sda1/键"));

    // Delete asks as the toolbar's button does.
    explorer->clearSelection();
    explorer->item(rowNamed(explorer, "删我.txt"))->setSelected(true);
    answerConfirmation(true);
    QTest::keyClick(window, Qt::Key_Delete);
    QTRY_VERIFY_WITH_TIMEOUT(!QFileInfo::exists(sda1() + "/键/删我.txt"), waitMs);

    // A transfer that finishes while the window is hidden is also told on the desktop.
    QSignalSpy notified(actions, &TransferActions::notifyDesktop);
    window->hide();
    QTemporaryDir here;
    QVERIFY(writeFile(here.filePath("n.txt"), "n"));
    answers.files = QStringList{here.filePath("n.txt")};
    answers.destination = "/media/sda1/键";
    actions->upload();
    QTRY_COMPARE_WITH_TIMEOUT(notified.size(), 1, waitMs);
    QCOMPARE(notified.at(0).at(1).toString(), QString("文件 n.txt 上传完成"));
}

void TestTransferActions::fullDiskSaysSo()
{
    // A disk that fills up during a download: a file system of 256 KiB of its own, mounted in a
    // namespace of this user, where the engine downloads a file of 1 MiB.
    if (QProcess::execute("unshare", {"-Urm", "true"}) != 0)
        QSKIP("no user namespaces here");
    QVERIFY(writeFile(sda1() + "/too-big.bin", pseudoRandom(1024 * 1024, 5)));
    QTemporaryDir here;
    const QString small = here.filePath("small");
    QVERIFY(QDir().mkpath(small) && QDir().mkpath(here.filePath("home")));
    const QJsonObject dev = lab.device(kDev1);
    QProcess driver;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", here.filePath("home"));
    driver.setProcessEnvironment(env);
    driver.setProcessChannelMode(QProcess::MergedChannels);
    driver.start("unshare",
                 {"-Urm", "sh", "-c", "mount -t tmpfs -o size=256k none \"$0\" && exec \"$@\"",
                  small, TRANSFER_DRIVER, "download", "/media/sda1/too-big.bin",
                  small + "/too-big.bin", "1048576", "--id", kDev1, "--host", "127.0.0.1",
                  "--mps-port", QString::number(dev.value("mps_port").toInt()), "--http-port",
                  QString::number(dev.value("http_port").toInt())});
    QVERIFY(driver.waitForFinished(waitMs));
    const QString out = QString::fromUtf8(driver.readAll());
    QVERIFY2(out.contains("\nstate 4 "), qPrintable(out));
    QVERIFY2(out.contains("\nreason 磁盘空间不足\n"), qPrintable(out));
}

void TestTransferActions::aBurstOfFinishesQueuesFewToasts()
{
    // 200 small files finishing together: the rows and the recent files list each one, the
    // toasts do not queue minutes of them: the first few and the newest wait.
    while (MessageBox *toast = MessageBox::queueHead())
        delete toast;
    QObject tasks;
    for (int i = 0; i < 200; ++i)
        actions->OnTaskFinished(new Task(Task::Download, QUuid::createUuid(), kDev1,
                                         QString("/media/sda1/批量/%1.txt").arg(i), QString(), 1, 1,
                                         Task::Complete, QDateTime::currentDateTime(), &tasks));
    QStringList queued;
    for (MessageBox *t = MessageBox::queueHead(); t; t = t->nextToast())
        queued << t->text();
    QCOMPARE(queued, QStringList({"文件 0.txt 下载完成", "文件 1.txt 下载完成",
                                  "文件 2.txt 下载完成", "文件 199.txt 下载完成"}));
}

QTEST_MAIN(TestTransferActions)
#include "tst_transferactions.moc"
