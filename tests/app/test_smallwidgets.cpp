#include "app/resizelabel.h"
#include "app/yesnodialog.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
void sendMouse(QWidget *w, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}
} // namespace

class TestSmallWidgets : public QObject
{
    Q_OBJECT

private slots:
    void dialogForm();
    void dialogYesAccepts();
    void dialogCancelAndCloseReject();
    void dialogExecWithAcceptedConnection();
    void dialogDragsFromTitleOnly();
    void gripReportsOffsets();
    void gripCursor();
};

void TestSmallWidgets::dialogForm()
{
    YesNoDialog dialog(QStringLiteral("是否退出程序？"));
    QCOMPARE(dialog.size(), QSize(400, 250));
    QCOMPARE(dialog.minimumSize(), QSize(400, 250));
    QCOMPARE(dialog.maximumSize(), QSize(400, 250));
    QVERIFY(dialog.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(dialog.findChild<QLabel *>("label_tip")->text(), QStringLiteral("是否退出程序？"));
    QCOMPARE(dialog.findChild<QLabel *>("label_title")->text(), QStringLiteral("系统提示"));
    QCOMPARE(dialog.findChild<QPushButton *>("btn_yes")->text(), QStringLiteral("确定"));
    QCOMPARE(dialog.findChild<QPushButton *>("btn_cancel")->text(), QStringLiteral("取消"));
    QVERIFY(dialog.findChild<QPushButton *>("btnClose")->text().isEmpty());
}

void TestSmallWidgets::dialogYesAccepts()
{
    YesNoDialog dialog(QStringLiteral("确认删除选中的内容吗？"));
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    dialog.show();
    dialog.findChild<QPushButton *>("btn_yes")->click();
    QCOMPARE(accepted.count(), 1);
    QCOMPARE(rejected.count(), 0);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
}

void TestSmallWidgets::dialogCancelAndCloseReject()
{
    for (const char *name : {"btn_cancel", "btnClose"}) {
        YesNoDialog dialog(QStringLiteral("确认清空最近记录吗？"));
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        QSignalSpy rejected(&dialog, &QDialog::rejected);
        dialog.show();
        dialog.findChild<QPushButton *>(name)->click();
        QCOMPARE(accepted.count(), 0);
        QCOMPARE(rejected.count(), 1);
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
    }
}

void TestSmallWidgets::dialogExecWithAcceptedConnection()
{
    QWidget owner;
    owner.show();
    YesNoDialog dialog(QStringLiteral("确定要取消全部上传任务？"), &owner);
    bool acted = false;
    connect(&dialog, &QDialog::accepted, [&acted] { acted = true; });
    QTimer::singleShot(0, &dialog,
                       [&dialog] { dialog.findChild<QPushButton *>("btn_yes")->click(); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(acted);
}

void TestSmallWidgets::dialogDragsFromTitleOnly()
{
    YesNoDialog dialog(QStringLiteral("拖动"));
    dialog.move(100, 100);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTRY_COMPARE(dialog.pos(), QPoint(100, 100));
    auto *title = dialog.findChild<QWidget *>("title");
    QVERIFY(title->height() > 10);
    QVERIFY(title->height() < 250);

    // Below the title bar: no movement.
    const QPoint body(200, title->height() + 30);
    sendMouse(&dialog, QEvent::MouseButtonPress, body, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseMove, body + QPoint(40, 25), Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseButtonRelease, body + QPoint(40, 25), Qt::NoButton);
    QCoreApplication::processEvents();
    QCOMPARE(dialog.pos(), QPoint(100, 100));

    // In the title bar: the dialog follows the pointer.
    const QPoint press(150, title->height() / 2);
    sendMouse(&dialog, QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(&dialog, QEvent::MouseMove, press + QPoint(40, 25), Qt::LeftButton);
    QTRY_COMPARE(dialog.pos(), QPoint(140, 125));
    sendMouse(&dialog, QEvent::MouseButtonRelease, press, Qt::NoButton);

    // After the release, moves do nothing.
    sendMouse(&dialog, QEvent::MouseMove, press + QPoint(70, 70), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(dialog.pos(), QPoint(140, 125));
}

void TestSmallWidgets::gripReportsOffsets()
{
    ResizeLabel grip;
    grip.resize(16, 16);
    QSignalSpy spy(&grip, &ResizeLabel::resizeWindow);

    // No press yet: moves report nothing.
    sendMouse(&grip, QEvent::MouseMove, QPoint(9, 9), Qt::LeftButton);
    QCOMPARE(spy.count(), 0);

    sendMouse(&grip, QEvent::MouseButtonPress, QPoint(5, 6), Qt::LeftButton);
    sendMouse(&grip, QEvent::MouseMove, QPoint(15, 26), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 10);
    QCOMPARE(spy.at(0).at(1).toInt(), 20);
    sendMouse(&grip, QEvent::MouseMove, QPoint(0, 1), Qt::LeftButton);
    QCOMPARE(spy.at(1).at(0).toInt(), -5);
    QCOMPARE(spy.at(1).at(1).toInt(), -5);

    sendMouse(&grip, QEvent::MouseButtonRelease, QPoint(0, 1), Qt::NoButton);
    sendMouse(&grip, QEvent::MouseMove, QPoint(30, 30), Qt::LeftButton);
    QCOMPARE(spy.count(), 2);
}

void TestSmallWidgets::gripCursor()
{
    QWidget window;
    ResizeLabel grip(&window);
    QVERIFY(!grip.testAttribute(Qt::WA_SetCursor));
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&grip, &enter);
    QVERIFY(grip.testAttribute(Qt::WA_SetCursor));
    QCOMPARE(grip.cursor().shape(), Qt::SizeFDiagCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&grip, &leave);
    QVERIFY(!grip.testAttribute(Qt::WA_SetCursor));
}

QTEST_MAIN(TestSmallWidgets)
#include "test_smallwidgets.moc"
