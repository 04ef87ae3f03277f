// The transfer lists and the recent-files table on their own: the order of rows around the
// completed section, the header's count, clearing and cancelling, a row's buttons and band,
// and the recent files' days, opening and clearing.
#include "../account/toastprobe.h"
#include "store/database.h"
#include "tests/support/windowdriver.h"
#include "transfer/recentfile.h"
#include "transfer/task.h"
#include "transfer/tasklistcompleteitemwidget.h"
#include "transfer/tasklistitemwidget.h"
#include "transfer/tasklistwidget.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

Task *storedTask(int status, qint64 done = 0, qint64 total = 100, const QString &name = "a.txt")
{
    return new Task(Task::Download, QUuid::createUuid(), "dev", "/media/sda1/" + name,
                    "/tmp/" + name, done, total, status, QDateTime(QDate(2024, 5, 6), QTime(7, 8)));
}

QString rowShape(TaskListWidget &list)
{
    QStringList shape;
    for (int row = 0; row < list.count(); ++row) {
        QWidget *w = list.itemWidget(list.item(row));
        if (auto *header = qobject_cast<TaskListCompleteItemWidget *>(w))
            shape << "[" + header->title() + "]";
        else if (Task *task = list.taskAt(row))
            shape << QFileInfo(task->localPath()).fileName();
    }
    return shape.join(' ');
}

} // namespace

class TestTransferWidgets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowsAroundTheCompletedSection();
    void rowButtons();
    void progressBand();
    void recentDaysAndRows();
    void recentOpens();

private:
    QTemporaryDir bin;
    QString calls;
};

void TestTransferWidgets::initTestCase()
{
    qRegisterMetaType<Task *>();
    InitDatabase();
    // A stand-in for the desktop's opener that writes down each argument it was given.
    calls = bin.filePath("calls");
    QFile opener(bin.filePath("xdg-open"));
    QVERIFY(opener.open(QIODevice::WriteOnly));
    opener.write(
        QString("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" + calls + "'; done\n")
            .toUtf8());
    opener.close();
    opener.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestTransferWidgets::init()
{
    while (MessageBox *toast = MessageBox::queueHead())
        delete toast;
}

void TestTransferWidgets::rowsAroundTheCompletedSection()
{
    TaskListWidget list;
    QVERIFY(list.styleSheet().contains("empty.png"));
    std::unique_ptr<Task> a(storedTask(Task::Queued, 0, 100, "a")),
        b(storedTask(Task::Failed, 0, 100, "b")), c(storedTask(Task::Queued, 0, 100, "c")),
        d(storedTask(Task::Complete, 100, 100, "d")), e(storedTask(Task::Queued, 0, 100, "e"));
    for (Task *t : {a.get(), b.get(), c.get(), d.get()})
        list.addTaskRow(t);
    QVERIFY(!list.styleSheet().contains("empty.png"));
    QCOMPARE(rowShape(list), QString("a b c [已完成 1个文件！] d"));

    // a completes: it moves below the header; later new tasks go above the header.
    list.moveToCompleted(a.get());
    list.addTaskRow(e.get());
    QCOMPARE(rowShape(list), QString("b c e [已完成 2个文件！] d a"));
    // The task's row is found through the item it recorded.
    QCOMPARE(list.row(a->listItem()), 5);

    // Clearing the completed section asks to forget the tasks only, not their stored rows.
    QSignalSpy deleted(&list, &TaskListWidget::deleteTask);
    list.clearCompleted();
    QCOMPARE(rowShape(list), QString("b c e"));
    QCOMPARE(list.completedHeaderRow(), -1);
    QCOMPARE(deleted.size(), 2);
    for (const QList<QVariant> &call : deleted) {
        QVERIFY(call.at(0).value<Task *>() == a.get() || call.at(0).value<Task *>() == d.get());
        QCOMPARE(call.at(1).toBool(), true);
    }
    deleted.clear();

    // Cancelling the unfinished ones deletes them for good; the empty list shows its picture.
    list.deleteUnfinished();
    QCOMPARE(list.count(), 0);
    QCOMPARE(deleted.size(), 3);
    QCOMPARE(deleted.at(0).at(1).toBool(), false);
    QVERIFY(list.styleSheet().contains("empty.png"));
}

void TestTransferWidgets::rowButtons()
{
    QWidget window;
    auto *list = new TaskListWidget(&window);
    window.resize(700, 300);
    window.show();
    std::unique_ptr<Task> failed(storedTask(Task::Failed)), done(storedTask(Task::Complete));
    list->addTaskRow(failed.get());
    list->addTaskRow(done.get());
    auto *row = qobject_cast<TaskListItemWidget *>(list->itemWidget(list->item(0)));
    auto *status = row->findChild<QLabel *>("statusLabel");
    QCOMPARE(status->text(), QString("下载失败"));
    QVERIFY(status->styleSheet().contains("red"));

    // The failed row's button queues its task again.
    row->findChild<QPushButton *>("startButton")->click();
    QCOMPARE(failed->status(), int(Task::Queued));
    QCOMPARE(status->text(), QString("排队中"));
    row->findChild<QPushButton *>("startButton")->click();
    QCOMPARE(failed->status(), int(Task::Paused));
    QCOMPARE(status->text(), QString("暂停下载"));

    // A completed row shows its day and no buttons.
    auto *doneRow = qobject_cast<TaskListItemWidget *>(list->itemWidget(list->item(2)));
    QCOMPARE(doneRow->findChild<QLabel *>("statusLabel")->text(), QString("2024-05-06"));
    QVERIFY(doneRow->findChild<QPushButton *>("startButton")->isHidden());
    QVERIFY(doneRow->findChild<QPushButton *>("deleteButton")->isHidden());

    // Deleting asks first: "取消" keeps the row, "确定" removes it and deletes the task.
    QSignalSpy deleted(list, &TaskListWidget::deleteTask);
    answerConfirmation(false);
    row->findChild<QPushButton *>("deleteButton")->click();
    QCOMPARE(list->count(), 3);
    QCOMPARE(deleted.size(), 0);
    answerConfirmation(true);
    row->findChild<QPushButton *>("deleteButton")->click();
    QCOMPARE(deleted.size(), 1);
    QCOMPARE(deleted.at(0).at(0).value<Task *>(), failed.get());
    QCOMPARE(deleted.at(0).at(1).toBool(), false);
    QCOMPARE(rowShape(*list), QString("[已完成 1个文件！] a.txt"));
}

void TestTransferWidgets::progressBand()
{
    // Half done: the band covers the left half of the row; without a size there is none.
    const QColor band("#eef4fd");
    for (qint64 total : {qint64(1000), qint64(0)}) {
        QWidget window;
        auto *list = new TaskListWidget(&window);
        list->setGeometry(0, 0, 600, 100);
        std::unique_ptr<Task> task(storedTask(Task::Paused, 500, total));
        list->addTaskRow(task.get());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QWidget *row = list->itemWidget(list->item(0));
        const QImage image = row->grab().toImage();
        const int y = image.height() / 2;
        const bool left = QColor(image.pixel(5, y)) == band;
        const bool right = QColor(image.pixel(image.width() - 5, y)) == band;
        QCOMPARE(left, total > 0);
        QVERIFY(!right);
        if (total > 0) {
            QCOMPARE(QColor(image.pixel(row->width() / 2 - 2, y)), band);
            QVERIFY(QColor(image.pixel(row->width() / 2 + 2, y)) != band);
        }
    }
}

void TestTransferWidgets::recentDaysAndRows()
{
    QTemporaryDir dir;
    const QDateTime now = QDateTime::currentDateTime();
    // Finished today (a download and an upload) and yesterday; one still running.
    AddTask(0, QUuid::createUuid(), "dev", "/r/x", dir.filePath("today.txt"), 5, 5, 3, now);
    AddTask(1, QUuid::createUuid(), "dev", "/r", dir.filePath("up.jpg"), 6, 6, 3, now.addSecs(-1));
    AddTask(0, QUuid::createUuid(), "dev", "/r/y", dir.filePath("yesterday.txt"), 7, 7, 3,
            now.addDays(-1));
    AddTask(0, QUuid::createUuid(), "dev", "/r/w", dir.filePath("running.txt"), 1, 8, 1, now);
    RecentFile table;
    table.initItem();
    QStringList shape;
    for (int row = 0; row < table.rowCount(); ++row) {
        QTableWidgetItem *cell = table.item(row, 0);
        const bool header = cell->type() != RecentFile::FileItemType;
        QCOMPARE(cell->flags() == Qt::NoItemFlags, header);
        shape << (header ? "[" + cell->text() + "]" : cell->text());
    }
    QCOMPARE(shape, QStringList({"[今天]", "today.txt", "up.jpg", "[昨天]", "yesterday.txt"}));
    QCOMPARE(table.item(2, 0)->data(RecentFile::KindRole).toInt(), 1);
    QCOMPARE(table.item(2, 1)->text(), QString("6 字节"));
    QCOMPARE(table.localPathAt(1), dir.filePath("today.txt"));
    QVERIFY(table.styleSheet().isEmpty());

    // Clearing empties the table and drops the finished rows only.
    table.clearItem();
    QCOMPARE(table.rowCount(), 0);
    table.initItem();
    QVERIFY(table.styleSheet().contains("empty.png"));
    QCOMPARE(LoadTasks(0, "dev").size(), 1);
}

void TestTransferWidgets::recentOpens()
{
    QTemporaryDir dir;
    const QString odd = dir.filePath("中文 名字 '&' %41.txt");
    QFile file(odd);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    AddTask(0, QUuid::createUuid(), "dev", "/r/a", odd, 1, 1, 3, QDateTime::currentDateTime());
    AddTask(0, QUuid::createUuid(), "dev", "/r/b", dir.filePath("gone.txt"), 1, 1, 3,
            QDateTime::currentDateTime().addSecs(-5));
    RecentFile table;
    table.initItem();
    QCOMPARE(table.localPathAt(1), odd);

    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);
    QFile::remove(calls);
    table.fileDoubleClicked(1, 2);
    // The opener got the path as one argument, blanks, quotes and Chinese intact.
    QTRY_VERIFY(QFileInfo(calls).size() > 0);
    QFile got(calls);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(got.readAll()), odd + "\n");
    got.close();
    QFile::remove(calls);
    QVERIFY(table.showInFolder(1));
    QTRY_VERIFY(QFileInfo(calls).size() > 0);
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(got.readAll()), dir.path() + "\n");

    // A file that is gone, and a desktop without an opener.
    table.fileDoubleClicked(2, 0);
    QVERIFY(findToast("本地文件不存在"));
    qputenv("PATH", QFile::encodeName(dir.path()));
    table.fileDoubleClicked(1, 0);
    qputenv("PATH", path);
    QVERIFY(findToast("打开文件失败"));
}

QTEST_MAIN(TestTransferWidgets)
#include "tst_transferwidgets.moc"
