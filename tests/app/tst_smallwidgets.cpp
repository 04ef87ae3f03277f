#include "account/logindialog.h"
#include "app/mainwidget.h"
#include "app/qttranslations.h"
#include "app/resizelabel.h"
#include "app/yesnodialog.h"

#include "sendmouse.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestSmallWidgets : public QObject
{
    Q_OBJECT

private slots:
    void dialogButtons_data();
    void dialogButtons();
    void framelessWindowsDragByTitleArea_data();
    void framelessWindowsDragByTitleArea();
    void gripReportsOnlyWhileDragged();
    void qtOwnDialogsSpeakChinese();
};

void TestSmallWidgets::dialogButtons_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::newRow("yes") << "btn_yes" << int(QDialog::Accepted);
    QTest::newRow("cancel") << "btn_cancel" << int(QDialog::Rejected);
    QTest::newRow("close") << "btnClose" << int(QDialog::Rejected);
}

// As callers use it: on the stack, accepted() connected to the action, exec().
void TestSmallWidgets::dialogButtons()
{
    QFETCH(QString, button);
    QFETCH(int, result);
    QWidget owner;
    owner.show();
    YesNoDialog dialog(QStringLiteral("确定要取消全部上传任务？"), &owner);
    int acted = 0;
    connect(&dialog, &QDialog::accepted, [&acted] { ++acted; });
    QTimer::singleShot(0, &dialog,
                       [&dialog, button] { dialog.findChild<QPushButton *>(button)->click(); });
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(acted, result == QDialog::Accepted ? 1 : 0);
    QVERIFY(!dialog.isVisible());
}

void TestSmallWidgets::framelessWindowsDragByTitleArea_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("handle"); // empty: the whole window is the title area
    QTest::newRow("confirmation") << "confirmation"
                                  << "title";
    QTest::newRow("login") << "login" << QString();
    QTest::newRow("main") << "main"
                          << "topWidget";
}

// The three frameless windows share one drag: only a left press in the title area starts it,
// the window follows until the release, and a move without a press does nothing.
void TestSmallWidgets::framelessWindowsDragByTitleArea()
{
    QFETCH(QString, window);
    QFETCH(QString, handle);
    std::unique_ptr<QWidget> w;
    if (window == "confirmation")
        w.reset(new YesNoDialog(QStringLiteral("拖动")));
    else if (window == "login")
        w.reset(new LoginDialog);
    else
        w.reset(new MainWidget);
    w->move(60, 50);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QTRY_COMPARE(w->pos(), QPoint(60, 50));
    const int band = handle.isEmpty() ? w->height() : w->findChild<QWidget *>(handle)->height();
    QVERIFY(band > 10);

    // Before any press: no jump.
    sendMouse(w.get(), QEvent::MouseMove, QPoint(150, 30), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(w->pos(), QPoint(60, 50));
    if (band + 30 < w->height()) { // below the title area: no movement
        dragBy(w.get(), QPoint(200, band + 30), QPoint(40, 25), true);
        QCOMPARE(w->pos(), QPoint(60, 50));
    }
    const QPoint press(150, band / 2);
    dragBy(w.get(), press, QPoint(40, 25), false);
    QTRY_COMPARE(w->pos(), QPoint(100, 75));
    sendMouse(w.get(), QEvent::MouseButtonRelease, press, Qt::NoButton);
    sendMouse(w.get(), QEvent::MouseMove, press + QPoint(70, 70), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(w->pos(), QPoint(100, 75));
}

// The offsets themselves are checked on the main window's grip; only a drag reports them.
void TestSmallWidgets::gripReportsOnlyWhileDragged()
{
    ResizeLabel grip;
    QSignalSpy spy(&grip, &ResizeLabel::resizeWindow);
    sendMouse(&grip, QEvent::MouseMove, QPoint(9, 9), Qt::LeftButton);
    dragBy(&grip, QPoint(5, 6), QPoint(10, 20), true);
    sendMouse(&grip, QEvent::MouseMove, QPoint(30, 30), Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0), (QList<QVariant>{10, 20}));
}

// Qt's own dialogs (the folder dialog of the settings page) use Qt's Chinese texts.
void TestSmallWidgets::qtOwnDialogsSpeakChinese()
{
    const QString english = QStringLiteral("Find Directory");
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Find Directory"), english);
    QVERIFY(installQtTranslations(QCoreApplication::instance()));
    const QString shown = QCoreApplication::translate("QFileDialog", "Find Directory");
    QVERIFY2(shown != english && shown.contains(QRegularExpression("\\p{Han}")), qPrintable(shown));
}

QTEST_MAIN(TestSmallWidgets)
#include "tst_smallwidgets.moc"
