// The cloud page's file actions in the main window against the lab's LAN devices: selection
// state and the toolbar, select-all, breadcrumb links, new folder, delete after confirmation,
// refresh, request-error toasts, and what a device switch does to the lists.
#include "../account/toastprobe.h"
#include "app/extensions.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/getpicfile.h"
#include "browse/partitionnames.h"
#include "tests/support/labdevice.h"
#include "tests/support/windowdriver.h"

#include <QCheckBox>
#include <QStackedWidget>
#include <QtTest>

namespace {

const int waitMs = 60000;
const QString dev1 = "TVK0000000001";
const QString dev3 = "TVK0000000003";

} // namespace

class TestFileActions : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void initTestCase()
    {
        fillExtensionSets();
        QVERIFY2(lab_.startSample(), qPrintable(lab_.lastError()));
        answerDiscoveryFrom(lab_, dev1);
        QDir::setCurrent(QDir::homePath());
    }
    void toolbarFollowsTheExplorer();
    void deviceSwitchResetsTheLists();

private:
    template <typename T = QWidget> T *child(const MainWidget &w, const char *name)
    {
        return w.findChild<T *>(QLatin1String(name));
    }
    LabProcess lab_;
};

void TestFileActions::toolbarFollowsTheExplorer()
{
    const QString folder = "/media/sdb1/工具栏 测试";
    const QString root = lab_.device(dev1).value("root").toString();
    QVERIFY(QDir().mkpath(root + "/sdb1/工具栏 测试/子目录"));
    QFile file(root + "/sdb1/工具栏 测试/a.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    MainWidget window;
    window.show();
    QVERIFY(chooseLanDevice(window, dev1));
    auto *explorer = child<Explorer>(window, "fileListWidget");
    auto *nav = child<QLabel>(window, "navLabel");
    auto *del = child<QPushButton>(window, "deleteButton");
    auto *download = child<QPushButton>(window, "downloadButton");
    auto *create = child<QPushButton>(window, "createDirButton");
    auto *count = child<QLabel>(window, "selectCountLabel");
    auto *all = child<QCheckBox>(window, "allCheckBox");

    window.cloudLeftButtonClicked(1);
    QCOMPARE(nav->text(), "全部文件");
    QVERIFY(waitLoad(explorer));
    QTRY_COMPARE_WITH_TIMEOUT(partitionNames().value("/media/sda1"), "资料盘", waitMs);
    // The top level: partitions cannot be deleted, and no folder can be made there.
    explorer->item(0)->setSelected(true);
    QCOMPARE(count->text(), "已选中1个文件");
    QVERIFY(!del->isEnabled() && !download->isEnabled());
    QVERIFY(create->isVisible() && !create->isEnabled());

    // A "file:" link of the breadcrumb lists that folder; the breadcrumb shows it.
    emit nav->linkActivated("file:" + FilePaths::encode(folder));
    QVERIFY(waitLoad(explorer));
    QVERIFY(nav->text().contains(">工具栏 测试</a>"));
    QCOMPARE(count->text(), "已选中0个文件");
    QVERIFY(create->isEnabled() && !del->isEnabled());
    // Only folders selected: delete yes, download no; a file makes download possible.
    explorer->item(rowNamed(explorer, "子目录"))->setSelected(true);
    QVERIFY(del->isEnabled() && !download->isEnabled());
    explorer->item(rowNamed(explorer, "a.txt"))->setSelected(true);
    QVERIFY(download->isEnabled());
    QVERIFY(all->isChecked());
    // Unchecking select-all deselects everything, marks included.
    all->click();
    QCOMPARE(explorer->selectedItems().size(), 0);
    QCOMPARE(count->text(), "已选中0个文件");
    all->click();
    QCOMPARE(explorer->selectedItems().size(), 2);
    auto *tile = qobject_cast<FileItemIcon *>(explorer->entryWidget(explorer->item(0)));
    QVERIFY(tile->findChild<QLabel *>("flagLabel")->isVisible());

    // New folder through the toolbar.
    create->click();
    QCOMPARE(FilePaths::fileName(explorer->item(2)->data(PathRole).toString()), "新建文件夹");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(root + "/sdb1/工具栏 测试/新建文件夹").isDir(), waitMs);

    // Delete asks first; "取消" leaves everything, "确定" deletes the selection.
    explorer->clearSelection();
    explorer->item(rowNamed(explorer, "a.txt"))->setSelected(true);
    const int mark = lab_.requestLog().size();
    QString asked;
    answerConfirmation(false, &asked);
    del->click();
    QCOMPARE(asked, "确认删除选中的内容吗？");
    QTest::qWait(200);
    QCOMPARE(lab_.requestsSince(mark, {"opt=delfileex"}), 0);
    answerConfirmation(true, &asked);
    del->click();
    QTRY_VERIFY_WITH_TIMEOUT(findToast("删除 a.txt 成功"), waitMs);
    QVERIFY(!QFileInfo::exists(root + "/sdb1/工具栏 测试/a.txt"));
    QCOMPARE(rowNamed(explorer, "a.txt"), -1);

    // Refresh lists the folder shown again and resets the count.
    explorer->item(0)->setSelected(true);
    child<QPushButton>(window, "refreshButton")->click();
    QCOMPARE(count->text(), "已选中0个文件");
    QVERIFY(waitLoad(explorer));
    QCOMPARE(explorer->count(), 2);
    QTRY_VERIFY(lab_.requestsSince(mark, {"opt=querydir"}) >= 1);

    // Unknown links and the two request errors the user is told about.
    emit nav->linkActivated("ftp://x");
    QVERIFY(findToast("未知协议"));
    window.networkError(QNetworkReply::ConnectionRefusedError);
    window.networkError(QNetworkReply::TimeoutError);
    const int before = toastCount();
    window.networkError(QNetworkReply::HostNotFoundError);
    QCOMPARE(toastCount(), before);
    QVERIFY(findToast("连接被拒绝，请检查设备是否在线") && findToast("连接超时"));
}

void TestFileActions::deviceSwitchResetsTheLists()
{
    MainWidget window;
    window.show();
    QVERIFY(chooseLanDevice(window, dev1));
    auto *explorer = child<Explorer>(window, "fileListWidget");
    auto *pictures = child<GetPicFile>(window, "picListWidget");
    window.cloudLeftButtonClicked(2);
    QVERIFY(waitLoad(pictures));
    const QStringList dev1Pictures = [&] {
        QStringList paths;
        for (int row = 0; row < pictures->count(); ++row)
            paths << pictures->item(row)->data(PathRole).toString();
        return paths;
    }();
    window.cloudLeftButtonClicked(1);
    QVERIFY(waitLoad(explorer));

    // Device three answers slowly: while its listing loads, the user goes back to one. The
    // late answer never fills the explorer.
    QVERIFY(lab_.setFaults({{dev3, QJsonObject{{"delay_ms", 1500}}}}));
    QVERIFY(chooseLanDevice(window, dev3));
    QVERIFY(explorer->isPageLoading());
    QCOMPARE(explorer->count(), 0);
    // The hidden picture list forgot device one's pictures and loads again when shown.
    QCOMPARE(pictures->count(), 0);
    QCOMPARE(pictures->total, -1);
    QVERIFY(chooseLanDevice(window, dev1));
    QVERIFY(waitLoad(explorer));
    const QStringList dev1Top{"/media/sda1", "/media/sdb1"};
    auto top = [&] {
        QStringList paths;
        for (int row = 0; row < explorer->count(); ++row)
            paths << explorer->item(row)->data(PathRole).toString();
        return paths;
    };
    QCOMPARE(top(), dev1Top);
    QTest::qWait(2000);
    QCOMPARE(top(), dev1Top);
    QTRY_COMPARE_WITH_TIMEOUT(partitionNames().value("/media/sda1"), "资料盘", waitMs);
    QVERIFY(lab_.setFaults(QJsonObject()));

    // Device three: its own partitions and names.
    QVERIFY(chooseLanDevice(window, dev3));
    QVERIFY(waitLoad(explorer));
    QTRY_COMPARE_WITH_TIMEOUT(partitionNames().value("/media/sda1"), "家庭相册", waitMs);
    QTRY_COMPARE_WITH_TIMEOUT(
        qobject_cast<FileItemIcon *>(explorer->entryWidget(explorer->item(0)))->textLabel()->text(),
        "家庭相册", waitMs);
    window.cloudLeftButtonClicked(2);
    QVERIFY(waitLoad(pictures));
    for (int row = 0; row < pictures->count(); ++row)
        QVERIFY(!dev1Pictures.contains(pictures->item(row)->data(PathRole).toString()));
}

QTEST_MAIN(TestFileActions)
#include "tst_fileactions.moc"
