// The file lists against the lab's sample device, offscreen: listing and paging, the
// breadcrumb, new folders, deletion results, thumbnails and their cache, the picture and
// document lists with the viewer, the folder picker, a device switch during a load, both
// routes, and the lab's fault switches.
#include "../account/toastprobe.h"
#include "app/extensions.h"
#include "browse/devicepathdialog.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/fileitemlist.h"
#include "browse/filepaths.h"
#include "browse/getdocfile.h"
#include "browse/getpicfile.h"
#include "browse/imageviewer.h"
#include "browse/partitionnames.h"
#include "device/deviceitem.h"
#include "tests/support/labdevice.h"
#include "tests/support/standinhost.h"
#include "tests/support/windowdriver.h"

#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QtTest>

namespace {

const int waitMs = 60000;
const QString dev1 = "TVK0000000001";
const QString dev3 = "TVK0000000003";

bool hasBackground(const QListWidget *list, const char *image)
{
    return list->styleSheet().contains(QLatin1String(image));
}

QStringList names(const QListWidget *list)
{
    QStringList result;
    for (int row = 0; row < list->count(); ++row) {
        // File lists make their widgets as entries come into view: here, on demand.
        auto *files = qobject_cast<FileListWidget *>(const_cast<QListWidget *>(list));
        QWidget *widget =
            files ? files->entryWidget(list->item(row)) : list->itemWidget(list->item(row));
        if (auto *tile = qobject_cast<FileItemIcon *>(widget))
            result << tile->textLabel()->text();
        else if (widget)
            result << widget->findChild<QLabel *>("textLabel")->text();
    }
    return result;
}

int rowShown(const QListWidget *list, const QString &name)
{
    return int(names(list).indexOf(name));
}

} // namespace

class TestBrowseLab : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        fillExtensionSets();
        QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
        QDir::setCurrent(QDir::homePath());
    }
    void init()
    {
        window_.reset(new QWidget);
        window_->resize(900, 640);
        window_->show();
        partitionNames().clear();
    }
    void cleanup()
    {
        lab_.setFaults(QJsonObject());
        host_.current = nullptr;
        window_.reset();
    }

    void explorerOnBothRoutes_data();
    void explorerOnBothRoutes();
    void newFolderNameAndRequest();
    void deletionResults();
    void thumbnailsCachedAfterFirstVisit();
    void picturesPageAndStepInTheViewer();
    void explorerStepsOverOtherFiles();
    void documentRows();
    void folderPicker();
    void deviceSwitchDuringALoad();
    void faults_data();
    void faults();

private:
    // A card for a lab device: on the LAN it is reached at its own ports, bound through the
    // relay.
    DeviceItem *device(const QString &id, bool local)
    {
        auto *item = new DeviceItem(window_.get());
        item->setRecord(labDevice(lab_, id, !local));
        item->onlinestatus = true;
        item->setHost(&host_);
        item->hide();
        return item;
    }
    template <typename List> List *list()
    {
        auto *l = new List(window_.get());
        l->setGeometry(0, 40, 900, 600);
        l->setViewMode(std::is_same<List, GetDocFile>::value ? QListView::ListMode
                                                             : QListView::IconMode);
        l->setSelectionMode(QAbstractItemView::ExtendedSelection);
        l->setResizeMode(QListView::Adjust);
        l->setMovement(QListView::Static);
        l->setSpacing(12);
        l->setHost(&host_);
        l->show();
        return l;
    }
    QString hostPath(const QString &id, const QString &devicePath) const
    {
        return lab_.device(id).value("root").toString() + devicePath.mid(QString("/media").size());
    }
    static void settleThumbnails(QListWidget *list)
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            [list] {
                for (int row = 0; row < list->count(); ++row) {
                    auto *tile = qobject_cast<FileItemIcon *>(list->itemWidget(list->item(row)));
                    if (tile && tile->isThumbnailLoading())
                        return false;
                }
                return true;
            }(),
            waitMs);
    }

    LabProcess lab_;
    std::unique_ptr<QWidget> window_;
    StandInHost host_;
};

void TestBrowseLab::explorerOnBothRoutes_data()
{
    QTest::addColumn<bool>("local");
    QTest::newRow("LAN") << true;
    QTest::newRow("relay") << false;
}

void TestBrowseLab::explorerOnBothRoutes()
{
    QFETCH(bool, local);
    // A folder with more entries than two pages hold.
    const QString paged = "/media/sda1/分页 测试 " + QString(local ? "lan" : "relay");
    QVERIFY(QDir().mkpath(hostPath(dev1, paged)));
    for (int i = 0; i < 130; ++i) {
        QFile f(hostPath(dev1, paged) + QString("/f%1.dat").arg(i, 3, 10, QChar('0')));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    host_.current = device(dev1, local);
    auto *explorer = list<Explorer>();
    QLabel crumbs(window_.get());
    explorer->setBreadcrumbLabel(&crumbs);
    const int mark = lab_.requestLog().size();
    explorer->queryPartitionNames();
    QTRY_COMPARE_WITH_TIMEOUT(partitionNames().value("/media/sda1"), "资料盘", waitMs);
    QCOMPARE(partitionNames().value("/media/sdb1"), "F");

    // First listing: the device names its top folder, partitions show their names.
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->rootPath, "/media");
    QCOMPARE(explorer->currentPath, "/media");
    QCOMPARE(names(explorer), (QStringList{"资料盘", "F"}));
    QCOMPARE(explorer->total, 2);

    // Into a folder with a blank in its name: sent encoded, shown decoded in the breadcrumb.
    emit explorer->itemDoubleClicked(explorer->item(0));
    QVERIFY(waitLoad(explorer));
    const int folder = rowShown(explorer, paged.mid(12));
    QVERIFY(folder >= 0);
    emit explorer->itemDoubleClicked(explorer->item(folder));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->count(), 100);
    QCOMPARE(explorer->total, 130);
    QCOMPARE(explorer->currentPath, FilePaths::encode(paged));
    QRegularExpression link("<a href='file:([^']*)'[^>]*>([^<]*)</a>");
    QStringList crumbTexts, targets;
    for (auto it = link.globalMatch(crumbs.text()); it.hasNext();) {
        const auto m = it.next();
        targets << m.captured(1);
        crumbTexts << m.captured(2);
    }
    QCOMPARE(crumbTexts, (QStringList{"Tovrik", "资料盘", paged.mid(12)}));
    QCOMPARE(targets, (QStringList{"/media", "/media/sda1", FilePaths::encode(paged)}));

    // Paging: a scroll to the bottom loads 50 more, with the toast; at total, nothing more.
    QTRY_VERIFY(explorer->verticalScrollBar()->maximum() > 0);
    explorer->verticalScrollBar()->setValue(explorer->verticalScrollBar()->maximum());
    QVERIFY(findToast("加载中，请稍后..."));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->count(), 130);
    QCOMPARE(names(explorer).last(), "f129.dat");
    const int beforeScroll = lab_.requestLog().size();
    QTRY_VERIFY(explorer->verticalScrollBar()->maximum() > 0);
    explorer->verticalScrollBar()->setValue(explorer->verticalScrollBar()->maximum());
    QVERIFY(!explorer->isPageLoading());

    // Back through the breadcrumb: the partition's link lists it again.
    explorer->queryDir(targets[1]);
    QVERIFY(waitLoad(explorer));
    QVERIFY(names(explorer).contains("照片"));
    // A path outside the top folder changes nothing at all.
    const QString crumbText = crumbs.text();
    explorer->queryDir("/etc");
    QVERIFY(!explorer->isPageLoading());
    QCOMPARE(crumbs.text(), crumbText);

    const QString route = local ? QString("%1 xctl GET").arg(dev1) : "relay " + dev1 + " xctl GET";
    QTRY_VERIFY_WITH_TIMEOUT(
        lab_.requestsSince(mark, {route, "opt=querydir",
                                  "start=100&count=50&path=" + FilePaths::encode(paged)}) == 1,
        waitMs);
    QCOMPARE(lab_.requestsSince(beforeScroll, {route, "opt=querydir"}),
             1); // only the breadcrumb's listing
    QCOMPARE(lab_.requestsSince(mark, {"relay "}) > 0, !local);
}

void TestBrowseLab::newFolderNameAndRequest()
{
    const QString base = "/media/sdb1/新建 测试";
    QVERIFY(QDir().mkpath(hostPath(dev1, base + "/新建文件夹")));
    QVERIFY(QDir().mkpath(hostPath(dev1, base + "/新建文件夹1")));
    host_.current = device(dev1, true);
    auto *explorer = list<Explorer>();
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    explorer->queryDir(FilePaths::encode(base));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(names(explorer), (QStringList{"新建文件夹", "新建文件夹1"}));

    const int mark = lab_.requestLog().size();
    explorer->mkDir();
    // Shown at once, at the end, before the device answers; total unchanged.
    QCOMPARE(names(explorer).last(), "新建文件夹2");
    QCOMPARE(explorer->item(2)->data(KindRole).toInt(), 1);
    QCOMPARE(explorer->total, 2);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(hostPath(dev1, base + "/新建文件夹2")).isDir(), waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(
        lab_.requestsSince(
            mark, {"recursive_mkdir", "dirpath=" + FilePaths::encode(base + "/新建文件夹2")}),
        1, waitMs);

    // A refusal takes the entry out again and says so: at the top level nothing can be made.
    explorer->queryDir("/media");
    QVERIFY(waitLoad(explorer));
    explorer->mkDir();
    QCOMPARE(explorer->count(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(explorer->count(), 2, waitMs);
    QVERIFY(findToast("新建文件夹失败"));
}

void TestBrowseLab::deletionResults()
{
    const QString base = "/media/sda1/删除 测试";
    QVERIFY(QDir().mkpath(hostPath(dev1, base)));
    for (const char *name : {"gone.txt", "missing.txt", "R&D #1 100%41.txt", "a|b.txt"}) {
        QFile f(hostPath(dev1, base + "/" + name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    host_.current = device(dev1, false);
    auto *explorer = list<Explorer>();
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    explorer->queryDir(FilePaths::encode(base));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->count(), 4);
    QVERIFY(QFile::remove(hostPath(dev1, base + "/missing.txt")));

    // 0 deleted (a name full of URL characters), 2 missing; the entry of "missing" stays.
    for (const char *name : {"R&D #1 100%41.txt", "missing.txt"})
        explorer->item(rowShown(explorer, name))->setSelected(true);
    explorer->removeSelected();
    QTRY_VERIFY_WITH_TIMEOUT(findToast("文件 missing.txt 不存在"), waitMs);
    QVERIFY(findToast("删除 R&D #1 100%41.txt 成功"));
    QVERIFY(!QFileInfo::exists(hostPath(dev1, base + "/R&D #1 100%41.txt")));
    QCOMPARE(names(explorer), (QStringList{"a|b.txt", "gone.txt", "missing.txt"}));
    QCOMPARE(explorer->total, 3);

    // A name the device splits at "|" comes back as two paths it was never sent: the list is
    // listed again and "删除完成" follows.
    explorer->clearSelection();
    explorer->item(rowShown(explorer, "a|b.txt"))->setSelected(true);
    QSignalSpy reloaded(explorer, &FileListWidget::loadFinished);
    explorer->removeSelected();
    QTRY_VERIFY_WITH_TIMEOUT(findToast("删除完成"), waitMs);
    QVERIFY(reloaded.wait(waitMs) || reloaded.count() == 1);
    QCOMPARE(names(explorer), (QStringList{"a|b.txt", "gone.txt"}));

    // 3: a partition's root may not be deleted; it stays listed.
    explorer->queryDir("/media");
    QVERIFY(waitLoad(explorer));
    explorer->item(0)->setSelected(true);
    explorer->removeSelected();
    QTRY_VERIFY_WITH_TIMEOUT(findToast("没有权限删除 sda1"), waitMs);
    QCOMPARE(explorer->count(), 2);
    QVERIFY(QFileInfo(hostPath(dev1, "/media/sda1/照片")).isDir());
}

void TestBrowseLab::thumbnailsCachedAfterFirstVisit()
{
    const QString folder = "/media/sda1/照片/旅行/北京";
    host_.current = device(dev1, false);
    auto *explorer = list<Explorer>();
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    int mark = lab_.requestLog().size();
    explorer->queryDir(FilePaths::encode(folder));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(names(explorer), (QStringList{"故宫.jpg", "长城.jpg"}));
    settleThumbnails(explorer);
    QTRY_COMPARE_WITH_TIMEOUT(
        lab_.requestsSince(mark, {"relay " + dev1, "opt=getfiledata", "order=1"}), 2, waitMs);
    const QString cached = "tmp/" + dev1 + "/thumb/media/sda1/" +
                           "%E7%85%A7%E7%89%87/%E6%97%85%E8%A1%8C/%E5%8C%97%E4%BA%AC/" +
                           "%E6%95%85%E5%AE%AB%2Ejpg.png";
    QVERIFY2(QFileInfo(cached).isFile(), qPrintable(cached));
    const QImage stored(cached);
    auto *tile = qobject_cast<FileItemIcon *>(explorer->entryWidget(explorer->item(0)));
    // Thumbnails wider than the icon are scaled to its width.
    QCOMPARE(stored.width(), tile->iconLabel()->width());
    QCOMPARE(
        tile->iconLabel()->pixmap(Qt::ReturnByValue).toImage().convertToFormat(stored.format()),
        stored);

    // The next visit takes them from the cache: no request reaches the device.
    mark = lab_.requestLog().size();
    explorer->queryDir(FilePaths::encode(folder));
    QVERIFY(waitLoad(explorer));
    settleThumbnails(explorer);
    tile = qobject_cast<FileItemIcon *>(explorer->entryWidget(explorer->item(1)));
    QCOMPARE(tile->iconLabel()->pixmap(Qt::ReturnByValue).width(), tile->iconLabel()->width());
    QTest::qWait(200);
    QCOMPARE(lab_.requestsSince(mark, {"opt=getfiledata"}), 0);
    QCOMPARE(lab_.requestsSince(mark, {"opt=querydir"}), 2); // device line and relay line
}

void TestBrowseLab::picturesPageAndStepInTheViewer()
{
    host_.current = device(dev1, true);
    auto *pictures = list<GetPicFile>();
    const int mark = lab_.requestLog().size();
    pictures->reload();
    QVERIFY(waitLoad(pictures));
    QCOMPARE(pictures->count(), 100);
    QVERIFY(pictures->total > 200);
    QTRY_VERIFY(lab_.requestsSince(mark, {"opt=get&",
                                          "type=29489&start=0&count=100&sortby=time&sorttype=down"
                                          "&businesstype=1"}) == 1);
    pictures->verticalScrollBar()->setValue(pictures->verticalScrollBar()->maximum());
    QVERIFY(waitLoad(pictures));
    QCOMPARE(pictures->count(), 150);

    // The viewer: opened on the first picture.
    emit pictures->itemDoubleClicked(pictures->item(0));
    ImageViewer *viewer = pictures->viewer;
    QVERIFY(viewer && viewer->isVisible());
    QCOMPARE(pictures->currentRow(), 0);
    QCOMPARE(pictures->selectedItems(), QList<QListWidgetItem *>{pictures->item(0)});
    QCOMPARE(viewer->imagePath(), FilePaths::encode(pictures->item(0)->data(PathRole).toString()));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->isLoading(), waitMs);
    QVERIFY(!viewer->imageLabel()->pixmap(Qt::ReturnByValue).isNull());

    // Right steps on, and only the last of two quick requests stays alive.
    QTest::keyRelease(viewer, Qt::Key_Right);
    QTest::keyRelease(viewer, Qt::Key_Right);
    QCOMPARE(pictures->currentRow(), 2);
    QCOMPARE(pictures->selectedItems().size(), 1);
    QCOMPARE(viewer->imagePath(), FilePaths::encode(pictures->item(2)->data(PathRole).toString()));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->isLoading(), waitMs);

    // Left steps back; Escape while that loads aborts the request: no toast follows.
    QTest::keyRelease(viewer, Qt::Key_Left);
    QCOMPARE(pictures->currentRow(), 1);
    QVERIFY(viewer->isLoading());
    QTest::keyRelease(viewer, Qt::Key_Escape);
    QVERIFY(!viewer->isVisible() && !viewer->isLoading());
    QTest::qWait(300);
    QVERIFY(!findToast("加载图片失败"));

    // The viewer's delete reaches the list's removeItem() for the picture shown.
    QSignalSpy removeItem(pictures, &FileListWidget::removeItem);
    emit pictures->itemDoubleClicked(pictures->item(5));
    viewer->findChild<QPushButton *>("removeButton")->click();
    QCOMPARE(removeItem.count(), 1);
    QVERIFY(!viewer->isVisible());
    QCOMPARE(pictures->selectedItems(), QList<QListWidgetItem *>{pictures->item(5)});
    QTRY_VERIFY(lab_.requestsSince(mark, {"opt=getfiledata", "order=3"}) >= 3);
}

void TestBrowseLab::explorerStepsOverOtherFiles()
{
    const QString folder = "/media/sdb1/步进";
    QVERIFY(QDir().mkpath(hostPath(dev1, folder + "/a folder")));
    for (const char *name : {"1.jpg", "2.txt", "3.mp4", "4.PNG", "5.md"})
        QVERIFY(QFile(hostPath(dev1, folder + "/" + name)).open(QIODevice::WriteOnly));
    host_.current = device(dev1, true);
    auto *explorer = list<Explorer>();
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    explorer->queryDir(FilePaths::encode(folder));
    QVERIFY(waitLoad(explorer));
    QCOMPARE(names(explorer).mid(1, 4), (QStringList{"1.jpg", "2.txt", "3.mp4", "4.PNG"}));
    // From the first picture: back is a folder, nothing; on skips the text and the video; past
    // the last picture, nothing.
    emit explorer->itemDoubleClicked(explorer->item(1));
    ImageViewer *viewer = explorer->viewer;
    QVERIFY(viewer && viewer->isVisible());
    QList<int> rows;
    for (auto step : {&ImageViewer::previous, &ImageViewer::next, &ImageViewer::next}) {
        emit(viewer->*step)();
        rows << explorer->currentRow();
    }
    QCOMPARE(rows, (QList<int>{1, 4, 4}));
    QCOMPARE(viewer->imagePath(), FilePaths::encode(folder + "/4.PNG"));
    viewer->closeWindow();
}

void TestBrowseLab::documentRows()
{
    host_.current = device(dev1, false);
    auto *documents = list<GetDocFile>();
    documents->reload();
    QVERIFY(waitLoad(documents));
    QVERIFY(documents->count() >= 12 && documents->count() == documents->total);
    QVERIFY(names(documents).contains("说明书.pdf"));
}

void TestBrowseLab::folderPicker()
{
    host_.current = device(dev1, true);
    DevicePathDialog dialog(window_.get(), host_.current);
    auto *ok = dialog.findChild<QPushButton *>("okButton");
    QVERIFY(dialog.isLoading());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isLoading(), waitMs);
    QCOMPARE(dialog.listedPath, "/media");
    QVERIFY(!ok->isEnabled());
    QCOMPARE(dialog.listWidget()->count(), 2);

    emit dialog.listWidget()->itemDoubleClicked(dialog.listWidget()->item(1));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isLoading(), waitMs);
    QCOMPARE(dialog.listedPath, "/media/sdb1");
    QVERIFY(ok->isEnabled());
    QCOMPARE(names(dialog.listWidget()).first(), "返回上级");
    QVERIFY(names(dialog.listWidget()).contains("空的文件夹"));

    // "返回上级" lists the folder above, up to the top.
    const int backup = rowShown(dialog.listWidget(), "备份");
    emit dialog.listWidget()->itemDoubleClicked(dialog.listWidget()->item(backup));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isLoading(), waitMs);
    QCOMPARE(dialog.listedPath, "/media/sdb1/备份");
    emit dialog.listWidget()->itemDoubleClicked(dialog.listWidget()->item(0));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isLoading(), waitMs);
    QCOMPARE(dialog.listedPath, "/media/sdb1");
    emit dialog.listWidget()->itemDoubleClicked(dialog.listWidget()->item(0));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isLoading(), waitMs);
    QCOMPARE(dialog.listedPath, "/media");
    QVERIFY(!ok->isEnabled());
}

void TestBrowseLab::deviceSwitchDuringALoad()
{
    QVERIFY(lab_.setFaults({{dev1, QJsonObject{{"delay_ms", 1500}}}}));
    DeviceItem *one = device(dev1, true);
    DeviceItem *three = device(dev3, true);
    host_.current = one;
    auto *explorer = list<Explorer>();
    auto *pictures = list<GetPicFile>();
    explorer->queryDir("");
    pictures->reload();
    QVERIFY(explorer->isPageLoading() && pictures->isPageLoading());

    // The window switches: lists that were told reset; the picture list is not told at all.
    host_.current = three;
    explorer->resetForDevice();
    QVERIFY(!explorer->isPageLoading());
    QCOMPARE(explorer->total, -1);
    explorer->queryDir("");
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->rootPath, "/media");
    const QStringList threeTop = names(explorer);
    QSignalSpy late(pictures, &FileListWidget::loadFinished);
    QTest::qWait(2500);
    // Device one's answer arrived for a list whose device is no longer current: dropped.
    QCOMPARE(late.count(), 0);
    QCOMPARE(pictures->count(), 0);
    QCOMPARE(pictures->total, -1);
    QVERIFY(!pictures->isPageLoading());
    QCOMPARE(names(explorer), threeTop);
}

void TestBrowseLab::faults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QStringList>("toasts"); // explorer, pictures, documents
    const QStringList none{"", "", ""};
    QTest::newRow("truncated") << QJsonObject{{"malformed_json", "truncated"}} << none;
    QTest::newRow("nonobject") << QJsonObject{{"malformed_json", "nonobject"}} << none;
    QTest::newRow("garbage") << QJsonObject{{"malformed_json", "garbage"}} << none;
    for (int rtn = 1; rtn <= 3; ++rtn)
        QTest::addRow("rtn %d", rtn)
            << QJsonObject{{"rtn", rtn}}
            << QStringList{"加载目录失败", QString("加载图片失败: %1").arg(rtn),
                           QString("加载文档失败: %1").arg(rtn)};
    QTest::newRow("dropped") << QJsonObject{{"drop_after_bytes", 20}}
                             << QStringList{"", "加载图片失败", ""};
    QTest::newRow("offline") << QJsonObject{{"offline", true}}
                             << QStringList{"", "加载图片失败", ""};
    QTest::newRow("past the time-out")
        << QJsonObject{{"delay_ms", 2500}} << QStringList{"", "加载图片失败", ""};
}

void TestBrowseLab::faults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QStringList, toasts);
    QVERIFY(lab_.setFaults({{dev1, fault}}));
    const ReplyHolder::Limits limits = ReplyHolder::defaultLimits();
    // Only the late answer needs a short time-out; on a loaded machine the others may take
    // longer than it and would end in the time-out's toast instead of their own.
    ReplyHolder::Limits shorter = limits;
    if (fault.contains("delay_ms"))
        shorter.timeoutMs = 800;
    ReplyHolder::setDefaultLimits(shorter);
    auto restore = qScopeGuard([limits] { ReplyHolder::setDefaultLimits(limits); });
    host_.current = device(dev1, true);
    FileListWidget *lists[] = {list<Explorer>(), list<GetPicFile>(), list<GetDocFile>()};
    for (int i = 0; i < 3; ++i) {
        if (auto *explorer = qobject_cast<Explorer *>(lists[i]))
            explorer->queryDir("");
        else
            lists[i]->reload();
        QVERIFY2(waitLoad(lists[i], false), qPrintable(QString::number(i)));
        QCOMPARE(lists[i]->count(), 0);
        QVERIFY(hasBackground(lists[i], "error.png"));
        if (!toasts[i].isEmpty())
            QVERIFY2(findToast(toasts[i]), qPrintable(toasts[i]));
    }
    if (toasts[0].isEmpty())
        QVERIFY(!findToast("加载目录失败"));
    if (toasts[2].isEmpty())
        QCOMPARE(toastCount(), toasts[1].isEmpty() ? 0 : 1);
}

QTEST_MAIN(TestBrowseLab)
#include "tst_browselab.moc"
