#include "app/mainwidget.h"
#include "app/messagebox.h"
#include "app/resizelabel.h"

#include "sendmouse.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

class TestMainWidget : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void init();
    void cleanup();
    void windowAndPages();
    void versionFromSettings();
    void groupsSwitchPages_data();
    void groupsSwitchPages();
    void cloudCategories_data();
    void cloudCategories();
    void devicePages();
    void currentFileListMapping();
    void selectionAndSelectAll();
    void doubleClickMaximisesInBandOnly();
    void gripResizes();
    void userMenuQuitAsksAndCanBeDeclined();
    void switchAccountHidesWindow();
    void secondStartBringsWindowForward();
    void unknownLinkToast();
    void savePathButtons();

private:
    template <typename T = QPushButton> T *child(const QString &name)
    {
        return window->findChild<T *>(name);
    }
    bool show()
    {
        window->show();
        return QTest::qWaitForWindowExposed(window);
    }
    QPoint gripDrag(ResizeLabel *grip, QPoint delta);
    // The caption or device-name label that the window adds to "base", found by its text.
    QLabel *deviceLabel(const char *text)
    {
        QList<QLabel *> found;
        for (QLabel *l :
             child<QWidget>("base")->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly))
            if (l->text() == QString::fromUtf8(text))
                found << l;
        return found.size() == 1 ? found.first() : nullptr;
    }
    QString version() { return child<QLabel>("logoLabel")->findChild<QLabel *>()->text(); }

    MainWidget *window = nullptr;
};

void TestMainWidget::init()
{
    window = new MainWidget;
}

void TestMainWidget::cleanup()
{
    delete window;
    window = nullptr;
    QCOMPARE(MainWidget::instance(), nullptr);
}

void TestMainWidget::windowAndPages()
{
    QCOMPARE(MainWidget::instance(), window);
    QVERIFY(!window->isVisible()); // shown only at sign-in
    QCOMPARE(window->size(), QSize(920, 650));
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(version(), QStringLiteral("V1.0.0.0"));
    QStringList actions;
    for (QAction *a : child<QToolButton>("userButton")->menu()->actions())
        actions << a->text();
    QCOMPARE(actions, QStringList({QStringLiteral("切换账号"), QStringLiteral("退出")}));

    QCOMPARE(child<QStackedWidget>("mainStackedWidget")->count(), 4);
    QCOMPARE(child<QStackedWidget>("fileStackedWidget")->count(), 5);
    QCOMPARE(child<QStackedWidget>("taskStackedWidget")->count(), 3);
    // The LAN page comes third, reached only through its own hidden button.
    auto *settings = child<QStackedWidget>("settingStackedWidget");
    QCOMPARE(settings->count(), 3);
    QVERIFY(settings->widget(2)->isAncestorOf(child<QWidget>("localDeviceListWidget")));
}

void TestMainWidget::versionFromSettings()
{
    delete window;
    QSettings settings(QStringLiteral("Vantor Network"), QStringLiteral("Tovrik"));
    settings.setValue(QStringLiteral("client/version"), QStringLiteral("2.3.4.5"));
    settings.sync();
    window = new MainWidget;
    QCOMPARE(version(), QStringLiteral("V2.3.4.5"));
    settings.clear();
}

void TestMainWidget::groupsSwitchPages_data()
{
    QTest::addColumn<QString>("stack");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QStringList>("buttons"); // in index order
    QTest::addColumn<QStringList>("pages");   // a widget on each page, in index order
    QTest::newRow("top") << QStringLiteral("mainStackedWidget")
                         << QStringLiteral("topButtonClicked")
                         << QStringList{"cloudButton", "taskButton", "syncButton", "settingsButton"}
                         << QStringList{"cloud", "task", "thirdparty", "settings"};
    QTest::newRow("cloud") << QStringLiteral("fileStackedWidget")
                           << QStringLiteral("cloudLeftButtonClicked")
                           << QStringList{"recentButton", "allFileButton", "pictureButton",
                                          "videoButton", "docButton"}
                           << QStringList{"recentTableWidget", "fileListWidget", "picListWidget",
                                          "videoListWidget", "docListWidget"};
    QTest::newRow("task") << QStringLiteral("taskStackedWidget")
                          << QStringLiteral("taskLeftButtonClicked")
                          << QStringList{"upListButton", "downListButton", "syncListButton"}
                          << QStringList{"uploadListWidget", "downloadListWidget", "SyncWeb"};
    QTest::newRow("settings") << QStringLiteral("settingStackedWidget")
                              << QStringLiteral("settingLeftButtonClicked")
                              << QStringList{"setPathButton", "devManagerButton"}
                              << QStringList{"savePathEdit", "userDeviceListWidget"};
}

// A click on a group's button and the group's slot called from code alike: the page of that
// index, that button alone checked. Off the sync page the device caption shows.
void TestMainWidget::groupsSwitchPages()
{
    QFETCH(QString, stack);
    QFETCH(QString, slot);
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, pages);
    QVERIFY(show());
    QLabel *caption = deviceLabel("当前设备"), *name = deviceLabel("未知");
    QVERIFY(caption && name);
    auto shows = [&](int index) {
        auto *s = child<QStackedWidget>(stack);
        QCOMPARE(s->currentIndex(), index);
        QWidget *page = child<QWidget>(pages.at(index));
        QVERIFY2(page && (s->currentWidget() == page || s->currentWidget()->isAncestorOf(page)),
                 qPrintable(pages.at(index)));
        for (int i = 0; i < buttons.size(); ++i)
            QVERIFY2(child(buttons.at(i))->isChecked() == (i == index), qPrintable(buttons.at(i)));
        const bool sync = stack == "mainStackedWidget" && index == 2;
        QCOMPARE(caption->isVisible(), !sync);
        QCOMPARE(name->isVisible(), !sync);
    };
    shows(0);
    for (int i = buttons.size() - 1; i >= 0; --i) {
        QTest::mouseClick(child(buttons.at(i)), Qt::LeftButton);
        shows(i);
        QVERIFY(QMetaObject::invokeMethod(window, qPrintable(slot),
                                          Q_ARG(int, (i + 1) % buttons.size())));
        shows((i + 1) % buttons.size());
    }
}

void TestMainWidget::cloudCategories_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("nav");
    QTest::newRow("recent") << 0 << QStringLiteral("最近文件");
    QTest::newRow("all") << 1 << QStringLiteral("全部文件");
    QTest::newRow("pictures") << 2 << QStringLiteral("全部照片");
    QTest::newRow("videos") << 3 << QStringLiteral("全部视频");
    QTest::newRow("documents") << 4 << QStringLiteral("全部文档");
}

void TestMainWidget::cloudCategories()
{
    QFETCH(int, index);
    QFETCH(QString, nav);
    // Start from another category so that every switch is a real change.
    window->cloudLeftButtonClicked(index == 0 ? 4 : 0);
    window->cloudLeftButtonClicked(index);
    QCOMPARE(child<QLabel>("navLabel")->text(), nav);
    const bool recent = index == 0;
    QCOMPARE(child("clearRecentButton")->isHidden(), !recent);
    QVERIFY(child("createDirButton")->isHidden());
    QCOMPARE(child("downloadButton")->isHidden(), recent);
    QCOMPARE(child("deleteButton")->isHidden(), recent);
    QCOMPARE(child<QCheckBox>("allCheckBox")->isHidden(), recent);
    QCOMPARE(child<QLabel>("selectCountLabel")->isHidden(), recent);
    QVERIFY(!child("uploadButton")->isHidden());
    QVERIFY(!child("refreshButton")->isHidden());
    if (!recent) { // nothing selected: nothing to download or delete
        QVERIFY(!child("downloadButton")->isEnabled());
        QVERIFY(!child("deleteButton")->isEnabled());
        QCOMPARE(child<QLabel>("selectCountLabel")->text(), QStringLiteral("已选中0个文件"));
    }
}

void TestMainWidget::devicePages()
{
    auto *settings = child<QStackedWidget>("settingStackedWidget");
    auto *refresh = child("refreshDeviceButton");
    QVERIFY(refresh->isHidden()); // the page opens on the save-path column
    window->settingLeftButtonClicked(1);
    QVERIFY(!refresh->isHidden());
    window->settingLeftButtonClicked(0);
    QVERIFY(refresh->isHidden());
    // The LAN page is reached only through its hidden button; "返回" goes back.
    QVERIFY(child("localDeviceButton")->isHidden());
    settings->setCurrentIndex(2);
    child("userDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), 1);
    child("localDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), 2);
}

void TestMainWidget::currentFileListMapping()
{
    const char *lists[] = {nullptr, "fileListWidget", "picListWidget", "videoListWidget",
                           "docListWidget"};
    for (int i = 1; i <= 4; ++i) {
        child<QStackedWidget>("fileStackedWidget")->setCurrentIndex(i);
        QCOMPARE(window->currentFileList(), child<QListWidget>(lists[i]));
    }
    child<QStackedWidget>("fileStackedWidget")->setCurrentIndex(0);
    QTest::ignoreMessage(QtDebugMsg, "errer index of fileStackedWidget");
    QCOMPARE(window->currentFileList(), nullptr);
}

void TestMainWidget::selectionAndSelectAll()
{
    window->cloudLeftButtonClicked(2);
    auto *list = child<QListWidget>("picListWidget");
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i < 3; ++i)
        (new QListWidgetItem(QStringLiteral("p%1.jpg").arg(i), list))->setData(Qt::UserRole, 2);
    auto *all = child<QCheckBox>("allCheckBox");
    auto *count = child<QLabel>("selectCountLabel");
    all->setChecked(true);
    QCOMPARE(list->selectedItems().size(), 3);
    QCOMPARE(count->text(), QStringLiteral("已选中3个文件"));
    QVERIFY(child("downloadButton")->isEnabled());
    QVERIFY(child("deleteButton")->isEnabled());
    // Deselecting one while all are selected unchecks the box, which deselects every item.
    list->item(1)->setSelected(false);
    QVERIFY(!all->isChecked());
    QCOMPARE(list->selectedItems().size(), 0);
    QCOMPARE(count->text(), QStringLiteral("已选中0个文件"));

    // In the video list a selection of folders only enables neither button.
    window->cloudLeftButtonClicked(3);
    auto *videos = child<QListWidget>("videoListWidget");
    auto *folder = new QListWidgetItem(QStringLiteral("series"), videos);
    folder->setData(Qt::UserRole, 1);
    new QListWidgetItem(QStringLiteral("other"), videos);
    folder->setSelected(true);
    QVERIFY(!child("downloadButton")->isEnabled());
    QVERIFY(!child("deleteButton")->isEnabled());
    QVERIFY(!all->isChecked());
    QCOMPARE(count->text(), QStringLiteral("已选中1个文件"));
}

void TestMainWidget::doubleClickMaximisesInBandOnly()
{
    QVERIFY(show());
    const int band = child<QWidget>("topWidget")->height();
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(400, band + 50), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!window->isMaximized());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(window->isMaximized());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(!window->isMaximized());
    child("maxButton")->click();
    QTRY_VERIFY(window->isMaximized());
    window->showNormalOrMax();
    QTRY_VERIFY(!window->isMaximized());
}

// Drags the grip so that the pointer ends delta away from the press point on screen, sending
// moves until the window has caught up; returns the sum of the reported offsets.
QPoint TestMainWidget::gripDrag(ResizeLabel *grip, QPoint delta)
{
    QPoint sum;
    auto c = connect(grip, &ResizeLabel::resizeWindow,
                     [&sum](int dx, int dy) { sum += QPoint(dx, dy); });
    const QPoint press(4, 4);
    const QPoint target = grip->mapToGlobal(press) + delta;
    sendMouse(grip, QEvent::MouseButtonPress, press, Qt::LeftButton);
    for (int step = 0; step < 10; ++step) {
        QCoreApplication::processEvents();
        const QPoint local = target - grip->mapToGlobal(QPoint(0, 0));
        if (local == press)
            break;
        sendMouse(grip, QEvent::MouseMove, local, Qt::LeftButton);
    }
    sendMouse(grip, QEvent::MouseButtonRelease, target - grip->mapToGlobal(QPoint(0, 0)),
              Qt::NoButton);
    disconnect(c);
    return sum;
}

void TestMainWidget::gripResizes()
{
    auto *recent = child<QTableWidget>("recentTableWidget");
    recent->setColumnCount(3);
    window->move(0, 0);
    QVERIFY(show());
    auto *grip = window->findChild<ResizeLabel *>();
    QTRY_COMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());
    const QSize before = window->size();
    QCOMPARE(gripDrag(grip, QPoint(37, 23)), QPoint(37, 23));
    QTRY_COMPARE(window->size(), before + QSize(37, 23));

    // Everything placed from the bottom follows the corner.
    const QSize size = window->size();
    QCOMPARE(grip->pos(), QPoint(size.width() - grip->width(), size.height() - grip->height()));
    QLabel *caption = deviceLabel("当前设备"), *name = deviceLabel("未知");
    QVERIFY(caption && name);
    QCOMPARE(name->pos(), QPoint(38, size.height() - 42));
    QCOMPARE(caption->pos(), QPoint(38, size.height() - 42 - 25));
    QCOMPARE(recent->columnWidth(0), size.width() - 360);

    // Shrinking stops at the minimum, and the grip stays in the corner.
    gripDrag(grip, QPoint(-200, -120));
    QTRY_COMPARE(window->size(), QSize(900, 650));
    QCOMPARE(window->minimumSize(), QSize(900, 650));
    QCOMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());
    window->resizeWindow(-5, -5);
    QCOMPARE(window->size(), QSize(900, 650));
}

void TestMainWidget::userMenuQuitAsksAndCanBeDeclined()
{
    QVERIFY(show());
    QString asked;
    QTimer::singleShot(0, [&asked] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        asked = modal->findChild<QLabel *>(QStringLiteral("label_tip"))->text();
        modal->findChild<QPushButton *>(QStringLiteral("btn_cancel"))->click();
    });
    child<QToolButton>("userButton")->menu()->actions().at(1)->trigger();
    QCOMPARE(asked, QStringLiteral("是否退出程序？"));
    QVERIFY(window->isVisible());
}

void TestMainWidget::switchAccountHidesWindow()
{
    QVERIFY(show());
    child<QListWidget>("userDeviceListWidget")->addItem(QStringLiteral("device"));
    child<QToolButton>("userButton")->menu()->actions().at(0)->trigger();
    QVERIFY(!window->isVisible());
    QCOMPARE(child<QToolButton>("userButton")->text(), QStringLiteral("登录"));
    QCOMPARE(child<QListWidget>("userDeviceListWidget")->count(), 0);
}

void TestMainWidget::secondStartBringsWindowForward()
{
    QVERIFY(!window->isVisible());
    auto poke = [] {
        QLocalSocket socket;
        socket.connectToServer(QStringLiteral("qm-kelvora-client"));
        QVERIFY(socket.waitForConnected(10000));
        socket.write("0");
        socket.flush();
        QTest::qWait(50);
        socket.disconnectFromServer();
    };
    poke();
    QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 10000);
    window->showMinimized();
    QTRY_VERIFY(window->isMinimized());
    poke();
    QTRY_VERIFY_WITH_TIMEOUT(!window->isMinimized(), 10000);
    QVERIFY(window->isVisible());
}

void TestMainWidget::unknownLinkToast()
{
    window->show();
    emit child<QLabel>("navLabel")->linkActivated(QStringLiteral("ftp:/x"));
    QVERIFY(MessageBox::queueHead());
    QCOMPARE(MessageBox::queueHead()->text(), QStringLiteral("未知协议"));
}

void TestMainWidget::savePathButtons()
{
    window->show();
    auto *edit = child<QLineEdit>("savePathEdit");
    window->SettingSavePathSelected(QDir::tempPath());
    QCOMPARE(edit->text(), QDir::tempPath());
    child("okBtn")->click();
    QCOMPARE(MessageBox::queueHead()->text(), QStringLiteral("保存成功"));
    edit->setText(QStringLiteral("/no/such/folder"));
    child("okBtn")->click();
    QCOMPARE(MessageBox::queueHead()->nextToast()->text(),
             QStringLiteral("设置失败，非法路径:/no/such/folder"));
    child("cancelBtn")->click();
    QCOMPARE(edit->text(), QDir::tempPath());
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
