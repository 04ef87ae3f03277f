// The file-list widgets against a scripted device on loopback: hostile names from a device
// that tries to lead the thumbnail cache out of its folder, the tiles and rows, selection
// marks, the context menu, and a list destroyed or reloaded from inside its own handler.
#include "app/extensions.h"
#include "browse/explorer.h"
#include "browse/fileitemicon.h"
#include "browse/fileitemlist.h"
#include "browse/getdocfile.h"
#include "browse/partitionnames.h"
#include "device/deviceitem.h"
#include "tests/support/loopbackserver.h"
#include "tests/support/standinhost.h"

#include <QBuffer>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

namespace {

const int waitMs = 30000;

QByteArray dirReply(const QString &path, const QJsonArray &files)
{
    return QJsonDocument(
               QJsonObject{
                   {"rtn", 0}, {"total", files.size()}, {"path", path}, {"filelist", files}})
        .toJson();
}

QJsonObject file(const QString &name, const char *attribute = "0x20", double size = 2048)
{
    return QJsonObject{
        {"attribute", attribute}, {"name", name}, {"time", 1480641705}, {"size", size}};
}

QStringList filesBelow(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace

class TestBrowseWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        fillExtensionSets();
        // Thumbnails are pictures, everything else is a listing.
        QImage image(300, 150, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QBuffer png(&server.replies["opt=getfiledata"]);
        QVERIFY(png.open(QIODevice::WriteOnly) && image.save(&png, "PNG"));
        // The data directory is the working directory; each run has its own HOME.
        QVERIFY(QDir().mkpath(QDir::homePath() + "/data"));
        QDir::setCurrent(QDir::homePath() + "/data");
    }
    void hostileNamesStayInTheCache();
    void tilesRowsAndMarks();
    void reloadFromInsideTheHandler();
    void widgetsOnlyNearTheView();
    void rowsFitTheListWidth();

private:
    DeviceItem *device(QWidget *parent, const QString &id)
    {
        auto *item = new DeviceItem(parent);
        item->deviceid = id;
        item->isLocal = true;
        item->intraip = "127.0.0.1";
        item->xctl_port = server.serverPort();
        item->hide();
        host.current = item;
        return item;
    }

    LoopbackServer server;
    StandInHost host;
};

void TestBrowseWidgets::hostileNamesStayInTheCache()
{
    const QString home = QDir::homePath();
    for (const QString &id : {QString("TVK0000000001"), QString("../../..")}) {
        QDir("tmp").removeRecursively();
        server.reply =
            dirReply("/media/../../..",
                     QJsonArray{file("../../../../escape.png"), file("..\\..\\win.jpg"),
                                file("/abs/root.gif"), file("%2e%2e/%2E%2E/enc.jpeg"),
                                file(QString("nul") + QChar(0) + "/x.png"), file("clip.MP4")});
        QWidget window;
        device(&window, id);
        auto *explorer = new Explorer(&window);
        explorer->resize(600, 400);
        explorer->setHost(&host);
        window.show();
        QSignalSpy loaded(explorer, &FileListWidget::loadFinished);
        explorer->queryDir("");
        QVERIFY(loaded.wait(waitMs));
        QCOMPARE(explorer->count(), 6);

        // Every thumbnail was fetched and stored (the tiles in view fetch theirs), all of them
        // inside the device's folder.
        const QString folder = QDir::currentPath() + "/tmp/" +
                               (id == "TVK0000000001" ? id : "%2E%2E%2F%2E%2E%2F%2E%2E") +
                               "/thumb/";
        QTRY_COMPARE_WITH_TIMEOUT(filesBelow(folder).size(), 6, waitMs);
        const QStringList stored = filesBelow(home);
        QStringList outside;
        for (const QString &path : stored) {
            if (!path.startsWith(folder) && !path.startsWith(QDir::homePath() + "/.config"))
                outside << path;
        }
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join('\n')));
    }
    QVERIFY(!QFileInfo::exists(QDir::homePath() + "/escape.png"));
}

void TestBrowseWidgets::tilesRowsAndMarks()
{
    partitionNames() = {{"/media/sda1", "资料盘"}};
    server.reply = dirReply("/media/sda1",
                            QJsonArray{file("照片", "0x01", 0), file("Clip.MP4", "0x20", 1536),
                                       file("README", "0x20", 1024), file("<b>粗</b>", "0x01", 0)});
    QWidget window;
    device(&window, "TVK0000000001");
    auto *explorer = new Explorer(&window);
    explorer->resize(600, 400);
    explorer->setSelectionMode(QAbstractItemView::ExtendedSelection);
    explorer->setHost(&host);
    window.show();
    QSignalSpy loaded(explorer, &FileListWidget::loadFinished);
    explorer->queryDir("");
    QVERIFY(loaded.wait(waitMs));
    auto tile = [explorer](int row) {
        return qobject_cast<FileItemIcon *>(explorer->entryWidget(explorer->item(row)));
    };
    QCOMPARE(tile(0)->toolTip(), "目录: 资料盘/照片");
    QCOMPARE(tile(1)->toolTip(),
             "文件: 资料盘/Clip.MP4\n大小: 1.50 KB\n修改时间: " +
                 QDateTime::fromSecsSinceEpoch(1480641705).toString("yyyy-MM-dd hh:mm:ss"));
    // Upper-case MP4: a video with its play badge (shown on hover), the plain icon for README.
    QVERIFY(tile(1)->playLabel && !tile(0)->playLabel && !tile(2)->playLabel);
    QVERIFY(tile(2)->toolTip().contains("大小: 1024 字节"));
    // A name that looks like markup shows as typed, in tiles and rows alike.
    auto shown = [](const QString &tip) {
        QTextDocument document;
        document.setHtml(tip);
        return Qt::mightBeRichText(tip) ? document.toPlainText() : tip;
    };
    QCOMPARE(shown(tile(3)->toolTip()), "目录: 资料盘/<b>粗</b>");

    // Selection marks follow the selection.
    auto flag = [&](int row) { return tile(row)->findChild<QLabel *>("flagLabel"); };
    explorer->item(0)->setSelected(true);
    explorer->item(2)->setSelected(true);
    QVERIFY(flag(0)->isVisible() && !flag(1)->isVisible() && flag(2)->isVisible());
    explorer->item(0)->setSelected(false);
    QVERIFY(!flag(0)->isVisible() && flag(2)->isVisible());

    // The context menu: Download disabled over a folder, enabled over a file, no menu over
    // empty space.
    QStringList seen;
    auto menuAt = [&](const QPoint &pos) {
        QTimer::singleShot(50, [&] {
            if (QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                seen << QString::number(explorer->downloadAction->isEnabled());
                menu->close();
            }
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos,
                                explorer->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(explorer->viewport(), &event);
        QTest::qWait(100);
    };
    menuAt(explorer->visualItemRect(explorer->item(0)).center());
    menuAt(explorer->visualItemRect(explorer->item(1)).center());
    menuAt(QPoint(590, 390));
    QCOMPARE(seen, (QStringList{"0", "1"}));

    // Rows of the document list: a name without a dot is its own type, upper-cased.
    auto *documents = new GetDocFile(&window);
    auto *row = new FileItemList(documents);
    row->listItem = documents->addEntry(
        {PlainFileKind, "/media/sda1/makefile", 1048577, QDateTime::fromSecsSinceEpoch(0)});
    row->setupFromItem();
    QCOMPARE(row->findChild<QLabel *>("typeLabel")->text(), "MAKEFILE");
    QCOMPARE(row->findChild<QLabel *>("sizeLabel")->text(), "1.00 MB");
    QCOMPARE(row->iconLabel()->pixmap(Qt::ReturnByValue).toImage(),
             QPixmap(":/image/file/file_small.png").toImage());
    row->listItem = documents->addEntry({PlainFileKind, "/media/sda1/<i>a</i>", 1, {}});
    row->setupFromItem();
    QVERIFY(shown(row->toolTip()).startsWith("文件: 资料盘/<i>a</i>\n"));
    partitionNames().clear();
}

void TestBrowseWidgets::reloadFromInsideTheHandler()
{
    // A handler that reloads the list (a slot on loadFinished) neither deadlocks nor leaves
    // the finished reply in place of the new one.
    server.reply = dirReply("/media", QJsonArray{file("a.txt")});
    QWidget window;
    device(&window, "TVK0000000001");
    auto *explorer = new Explorer(&window);
    explorer->setHost(&host);
    int reloads = 0;
    connect(explorer, &FileListWidget::loadFinished, explorer, [&] {
        if (++reloads < 3)
            explorer->reload();
    });
    explorer->queryDir("");
    QTRY_COMPARE_WITH_TIMEOUT(reloads, 3, waitMs);
    QVERIFY(!explorer->isPageLoading());
    QCOMPARE(explorer->count(), 1);

    // Destroyed with a page in flight: nothing arrives afterwards.
    explorer->reload();
    QVERIFY(explorer->isPageLoading());
    delete explorer;
    QTest::qWait(200);
}

void TestBrowseWidgets::widgetsOnlyNearTheView()
{
    QJsonArray files;
    for (int i = 0; i < 100; ++i)
        files.append(file(QString("f%1.txt").arg(i, 3, 10, QChar('0'))));
    server.reply = dirReply("/media/sda1", files);
    QWidget window;
    device(&window, "TVK0000000001");
    auto *explorer = new Explorer(&window);
    explorer->resize(300, 260);
    explorer->setViewMode(QListView::IconMode);
    explorer->setResizeMode(QListView::Adjust);
    explorer->setHost(&host);
    window.show();
    QSignalSpy loaded(explorer, &FileListWidget::loadFinished);
    explorer->queryDir("");
    QVERIFY(loaded.wait(waitMs));
    auto tiles = [explorer] {
        QStringList shown;
        for (FileItemIcon *tile : explorer->findChildren<FileItemIcon *>()) {
            if (tile->listItem)
                shown << tile->textLabel()->text();
        }
        return shown;
    };
    // Two columns, about two rows a screen: the first screens have tiles, the end none.
    QTRY_VERIFY(tiles().contains("f000.txt"));
    QVERIFY(tiles().size() < 30);
    QVERIFY(!tiles().contains("f099.txt"));
    explorer->scrollToBottom();
    QTRY_VERIFY(tiles().contains("f099.txt"));
    QTRY_VERIFY(!tiles().contains("f000.txt"));
    QVERIFY(tiles().size() < 30);
    // Selection marks reach tiles made later.
    explorer->item(0)->setSelected(true);
    explorer->scrollToTop();
    QTRY_VERIFY(tiles().contains("f000.txt"));
    auto *first = qobject_cast<FileItemIcon *>(explorer->itemWidget(explorer->item(0)));
    QVERIFY(first && first->findChild<QLabel *>("flagLabel")->isVisible());
}

// Document rows span the list's visible width, through resizes, without a horizontal bar.
void TestBrowseWidgets::rowsFitTheListWidth()
{
    QWidget window;
    auto *documents = new GetDocFile(&window);
    documents->setViewMode(QListView::ListMode);
    documents->setResizeMode(QListView::Adjust);
    documents->setStyleSheet(documents->normalStyleSheet);
    for (int i = 0; i < 40; ++i)
        documents->addEntry(
            {PlainFileKind, QString("/media/sda1/会议纪要 %1.pdf").arg(i), 593, {}});
    documents->resize(740, 480);
    window.resize(1000, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (int width : {740, 500, 900}) {
        documents->resize(width, 480);
        QTest::qWait(50);
        const int viewport = documents->viewport()->width();
        QVERIFY2(!documents->horizontalScrollBar()->isVisible(),
                 qPrintable(QString::number(width)));
        auto *row = qobject_cast<FileItemList *>(documents->itemWidget(documents->item(0)));
        QVERIFY(row);
        QVERIFY2(
            row->x() >= 0 && row->geometry().right() < viewport && row->width() > viewport - 8,
            qPrintable(QString("%1: row %2 in %3").arg(width).arg(row->width()).arg(viewport)));
        QVERIFY(documents->visualItemRect(documents->item(0)).width() <= viewport);
    }
}

QTEST_MAIN(TestBrowseWidgets)
#include "tst_browsewidgets.moc"
