#include "app/messagebox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QtTest>

// Records the order in which toasts become visible and the most seen at once.
class ShowRecorder : public QObject
{
public:
    explicit ShowRecorder(QWidget *parent) : parent(parent) {}
    QStringList shown;
    int maxVisible = 0;

protected:
    bool eventFilter(QObject *obj, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *toast = qobject_cast<MessageBox *>(obj)) {
                shown << toast->text();
                int visible = 0;
                for (MessageBox *m : parent->findChildren<MessageBox *>())
                    visible += m->isVisible() ? 1 : 0;
                maxVisible = qMax(maxVisible, visible);
            }
        }
        return false;
    }

private:
    QWidget *parent;
};

// The texts of the queued toasts, head first.
QStringList queued()
{
    QStringList texts;
    for (MessageBox *m = MessageBox::queueHead(); m; m = m->nextToast())
        texts << m->text();
    return texts;
}

class TestMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void queueShowsOneAfterAnother();
    void duplicateTextIsDroppedAndCloseButtonFades();
    void sizeAndPlace_data();
    void sizeAndPlace();
    void closeButtonDuringFadeChangesNothing();
    void parentDeletedWhileQueued();
    void toastOverHiddenWindowStepsAside();
    void markupShowsAsTyped();
    void clickPassesThroughToast();

private:
    QWidget *window = nullptr;
};

void TestMessageBox::init()
{
    window = new QWidget;
    window->setStyleSheet(
        QStringLiteral("QWidget{\nfont-family: \"微软雅黑\";\nfont-size: 12px;\n}"));
    window->resize(920, 650);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestMessageBox::cleanup()
{
    delete window;
    window = nullptr;
    QCOMPARE(MessageBox::queueHead(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestMessageBox::queueShowsOneAfterAnother()
{
    ShowRecorder recorder(window);
    qApp->installEventFilter(&recorder);
    MessageBox::showMessage(Error, QStringLiteral("第一条"), window, false, 50);
    MessageBox::showMessage(Done, QStringLiteral("第二条"), window, false, 50);
    MessageBox::showMessage(Info, QStringLiteral("第三条"), window, false, 50);

    QCOMPARE(window->findChildren<MessageBox *>().size(), 3);
    QCOMPARE(queued(), QStringList({"第一条", "第二条", "第三条"}));
    QVERIFY(MessageBox::queueHead()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(MessageBox::queueHead() == nullptr, 30000);
    qApp->removeEventFilter(&recorder);
    QCOMPARE(recorder.shown, QStringList({QStringLiteral("第一条"), QStringLiteral("第二条"),
                                          QStringLiteral("第三条")}));
    QCOMPARE(recorder.maxVisible, 1);
    QTRY_COMPARE_WITH_TIMEOUT(window->findChildren<MessageBox *>().size(), 0, 10000);
}

void TestMessageBox::duplicateTextIsDroppedAndCloseButtonFades()
{
    MessageBox::showMessage(Error, QStringLiteral("甲"), window, false, 100000);
    MessageBox::showMessage(Error, QStringLiteral("乙"), window, false, 100000);
    MessageBox::showMessage(Error, QStringLiteral("丙"), window, false, 100000);
    MessageBox::showMessage(Done, QStringLiteral("甲"), window, true, 100000); // on screen
    MessageBox::showMessage(Done, QStringLiteral("丙"), window, true, 100000); // queued
    QCOMPARE(window->findChildren<MessageBox *>().size(), 3);
    QCOMPARE(queued(), QStringList({"甲", "乙", "丙"}));

    // The close button stops the display timer and starts the fade, which ends the toast and
    // brings on the next one. Once the first is gone, the same text may be queued again.
    MessageBox *first = MessageBox::queueHead();
    first->findChild<QPushButton *>("closeButton")->click();
    QVERIFY(!first->isDisplayTimerRunning());
    QVERIFY(first->isFading());
    QTRY_COMPARE_WITH_TIMEOUT(queued(), QStringList({"乙", "丙"}), 10000);
    QVERIFY(MessageBox::queueHead()->isVisible());
    QVERIFY(MessageBox::queueHead()->isDisplayTimerRunning());
    MessageBox::showMessage(Error, QStringLiteral("甲"), window, false, 100000);
    QCOMPARE(queued(), QStringList({"乙", "丙", "甲"}));
}

void TestMessageBox::sizeAndPlace_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QPoint>("pos");
    QTest::newRow("short, default place") << QStringLiteral("短") << QPoint(-1, -1);
    QTest::newRow("long") << QStringLiteral(
                                 "这是一条很长很长的提示信息，它的宽度一定会超过二百三十六个像素")
                          << QPoint(-1, -1);
    QTest::newRow("given place") << QStringLiteral("位置") << QPoint(16, 118);
    QTest::newRow("two lines") << QStringLiteral("无法打开浏览器，请访问：\nhttp://127.0.0.1:9/x")
                               << QPoint(-1, -1);
}

// At least 300 x 40, wide enough for its longest line with room for icon and close button,
// a line taller per extra line; by default centred 20 px above the parent's bottom.
void TestMessageBox::sizeAndPlace()
{
    QFETCH(QString, text);
    QFETCH(QPoint, pos);
    MessageBox::showMessage(Info, text, window, false, -1, pos);
    MessageBox *toast = MessageBox::queueHead();
    QCOMPARE(toast->duration(), 2000);
    QVERIFY(toast->isDisplayTimerRunning());
    QVERIFY(toast->findChild<QPushButton *>("closeButton")->isHidden());
    const QFontMetrics metrics(toast->font());
    const QStringList lines = text.split('\n');
    int widest = 0;
    for (const QString &line : lines)
        widest = qMax(widest, metrics.horizontalAdvance(line));
    QCOMPARE(toast->width(), qMax(300, widest + 80));
    QCOMPARE(toast->height(), 40 + (lines.size() - 1) * metrics.lineSpacing());
    QCOMPARE(toast->pos(), pos != QPoint(-1, -1)
                               ? pos
                               : QPoint((920 - toast->width()) / 2, 650 - toast->height() - 20));
}

void TestMessageBox::closeButtonDuringFadeChangesNothing()
{
    MessageBox::showMessage(Done, QStringLiteral("淡出"), window, true, 10);
    MessageBox *toast = MessageBox::queueHead();
    QTRY_VERIFY_WITH_TIMEOUT(toast->isFading(), 10000);
    auto *fade = toast->findChild<QGraphicsOpacityEffect *>();
    QVERIFY(fade);
    QTRY_VERIFY_WITH_TIMEOUT(fade->opacity() < 0.99, 10000);
    const qreal before = fade->opacity();
    toast->findChild<QPushButton *>("closeButton")->click();
    QVERIFY(toast->isFading());
    QVERIFY(!toast->isDisplayTimerRunning());
    QVERIFY(fade->opacity() <= before);
    QTRY_VERIFY_WITH_TIMEOUT(MessageBox::queueHead() == nullptr, 10000);
}

void TestMessageBox::parentDeletedWhileQueued()
{
    auto *other = new QWidget(window);
    other->resize(400, 300);
    MessageBox::showMessage(Error, QStringLiteral("一"), other, false, 100000);
    MessageBox::showMessage(Error, QStringLiteral("二"), window, false, 100000);
    MessageBox::showMessage(Error, QStringLiteral("三"), other, false, 100000);
    delete other;
    // The queue skips the dead toasts and shows the survivor.
    MessageBox *head = MessageBox::queueHead();
    QVERIFY(head);
    QCOMPARE(head->text(), QStringLiteral("二"));
    QCOMPARE(head->nextToast(), nullptr);
    QVERIFY(head->isVisible());
    QVERIFY(head->isDisplayTimerRunning());
}

void TestMessageBox::toastOverHiddenWindowStepsAside()
{
    // A sign-in time-out toast over the login dialog, which a later retry then closes.
    QWidget dialog;
    dialog.resize(330, 364);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    MessageBox::showMessage(Error, QStringLiteral("登录失败，请检查网络"), &dialog, true, 100000,
                            QPoint(16, 118));
    QPointer<MessageBox> stale = MessageBox::queueHead();
    QVERIFY(stale);
    dialog.hide();

    MessageBox::showMessage(Done, QStringLiteral("文件 a.txt 下载完成"), window);
    MessageBox *head = MessageBox::queueHead();
    QVERIFY(head);
    QCOMPARE(head->text(), QStringLiteral("文件 a.txt 下载完成"));
    QVERIFY(head->isVisible());
    QVERIFY(head->isDisplayTimerRunning());
    QTRY_VERIFY_WITH_TIMEOUT(stale.isNull(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(MessageBox::queueHead() == nullptr, 30000);
}

// A device's or a file's name in a toast is text, not markup.
void TestMessageBox::markupShowsAsTyped()
{
    MessageBox::showMessage(Error, QStringLiteral("删除失败: <b>a</b><img src=x>"), window, false,
                            2000);
    MessageBox *toast = MessageBox::queueHead();
    QVERIFY(toast);
    const QLabel *label = toast->findChild<QLabel *>(QStringLiteral("msgLabel"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(label->text(), QStringLiteral("删除失败: <b>a</b><img src=x>"));
}

// A plain toast over a button lets the click through to the button while it shows.
void TestMessageBox::clickPassesThroughToast()
{
    auto *button = new QPushButton(QStringLiteral("登录"), window);
    button->setGeometry(310, 580, 300, 50);
    button->show();
    QSignalSpy clicked(button, &QPushButton::clicked);
    MessageBox::showMessage(Error, QStringLiteral("已在其他地方登录"), window, false, 100000);
    MessageBox *toast = MessageBox::queueHead();
    const QPoint at = button->geometry().center();
    QVERIFY(toast->isVisible() && toast->geometry().contains(at));
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(clicked.count(), 1);
    QVERIFY(toast->isDisplayTimerRunning());
}

QTEST_MAIN(TestMessageBox)
#include "tst_messagebox.moc"
