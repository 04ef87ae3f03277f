// The main window without a signed-in user: navigation, chrome, the settings page's save path
// and the toolbar per category.
#include "app/mainwidget.h"
#include "app/messagebox.h"
#include "app/pages.h"
#include "app/resizelabel.h"
#include "platform/singleinstance.h"
#include "store/database.h"

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
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

class TestMainWidget : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void init();
    void cleanup();
    void versionFromSettings_data();
    void versionFromSettings();
    void groupsSwitchPages_data();
    void groupsSwitchPages();
    void cloudToolbarPerCategory();
    void selectionAndSelectAll();
    void settingsColumns();
    void doubleClickMaximisesInBandOnly();
    void gripResizes();
    void closeWithoutTrayMinimises_data();
    void closeWithoutTrayMinimises();
    void userMenuQuitAsksAndCanBeDeclined();
    void switchAccountHidesWindow();
    void secondStartBringsWindowForward();
    void savePath_data();
    void savePath();

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
    void restart()
    {
        delete window;
        window = new MainWidget;
    }
    // Whether a call opened a modal dialog (closed again at once).
    bool modalOpenedBy(const std::function<void()> &call);
    QPoint gripDrag(ResizeLabel *grip, QPoint delta);

    MainWidget *window = nullptr;
};

void TestMainWidget::init()
{
    while (MessageBox *toast = MessageBox::queueHead())
        delete toast;
    window = new MainWidget;
    QCOMPARE(MainWidget::instance(), window);
    QVERIFY(!window->isVisible()); // shown only at sign-in
}

void TestMainWidget::cleanup()
{
    delete window;
    window = nullptr;
    QCOMPARE(MainWidget::instance(), nullptr);
}

bool TestMainWidget::modalOpenedBy(const std::function<void()> &call)
{
    bool opened = false;
    QTimer::singleShot(0, [&opened] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            opened = true;
            modal->close();
        }
    });
    call();
    QCoreApplication::processEvents();
    return opened;
}

void TestMainWidget::versionFromSettings_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("none") << QString() << "V1.0.0.0";
    QTest::newRow("installed") << "2.3.4.5"
                               << "V2.3.4.5";
}

void TestMainWidget::versionFromSettings()
{
    QFETCH(QString, installed);
    QFETCH(QString, shown);
    QSettings settings(QStringLiteral("Vantor Network"), QStringLiteral("Tovrik"));
    if (!installed.isEmpty())
        settings.setValue(QStringLiteral("client/version"), installed);
    settings.sync();
    restart();
    settings.clear();
    QCOMPARE(child<QLabel>("logoLabel")->findChild<QLabel *>()->text(), shown);
}

void TestMainWidget::groupsSwitchPages_data()
{
    QTest::addColumn<QString>("stack");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QStringList>("buttons"); // in page order
    QTest::addColumn<QStringList>("pages");   // a widget on each page, in page order
    QTest::newRow("top") << "mainStackedWidget"
                         << "topButtonClicked"
                         << QStringList{"cloudButton", "taskButton", "syncButton", "settingsButton"}
                         << QStringList{"cloud", "task", "thirdparty", "settings"};
    QTest::newRow("cloud") << "fileStackedWidget"
                           << "cloudLeftButtonClicked"
                           << QStringList{"recentButton", "allFileButton", "pictureButton",
                                          "videoButton", "docButton"}
                           << QStringList{"recentTableWidget", "fileListWidget", "picListWidget",
                                          "videoListWidget", "docListWidget"};
    QTest::newRow("task") << "taskStackedWidget"
                          << "taskLeftButtonClicked"
                          << QStringList{"upListButton", "downListButton", "syncListButton"}
                          << QStringList{"uploadListWidget", "downloadListWidget", "SyncWeb"};
    QTest::newRow("settings") << "settingStackedWidget"
                              << "settingLeftButtonClicked"
                              << QStringList{"setPathButton", "devManagerButton"}
                              << QStringList{"savePathEdit", "userDeviceListWidget"};
}

// A click on a group's button and the group's slot called from code alike: the page of that
// index, that button alone checked. The device caption shows everywhere but on the sync page.
void TestMainWidget::groupsSwitchPages()
{
    QFETCH(QString, stack);
    QFETCH(QString, slot);
    QFETCH(QStringList, buttons);
    QFETCH(QStringList, pages);
    QVERIFY(show());
    const QList<QLabel *> bottomLabels =
        child<QWidget>("base")->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
    auto shows = [&](int index) {
        auto *s = child<QStackedWidget>(stack);
        QCOMPARE(s->currentIndex(), index);
        QWidget *page = child<QWidget>(pages.at(index));
        QVERIFY2(page && (s->currentWidget() == page || s->currentWidget()->isAncestorOf(page)),
                 qPrintable(pages.at(index)));
        for (int i = 0; i < buttons.size(); ++i)
            QVERIFY2(child(buttons.at(i))->isChecked() == (i == index), qPrintable(buttons.at(i)));
        const bool sync = stack == "mainStackedWidget" && index == MainPage::Sync;
        for (QLabel *label : bottomLabels)
            QCOMPARE(label->isVisible(), !sync);
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

// Recent files offer clearing only; the file categories offer selection, download and delete,
// off while nothing is selected.
void TestMainWidget::cloudToolbarPerCategory()
{
    for (int index : {CloudPage::Explorer, CloudPage::Recent, CloudPage::Pictures,
                      CloudPage::Videos, CloudPage::Documents}) {
        window->cloudLeftButtonClicked(index);
        const bool recent = index == CloudPage::Recent;
        QCOMPARE(child("clearRecentButton")->isHidden(), !recent);
        // New folders belong to the explorer, and never at the device's top level.
        QCOMPARE(child("createDirButton")->isHidden(), index != CloudPage::Explorer);
        QVERIFY(!child("createDirButton")->isEnabled() || index != CloudPage::Explorer);
        for (const char *name : {"downloadButton", "deleteButton"}) {
            QCOMPARE(child(name)->isHidden(), recent);
            QVERIFY(!child(name)->isEnabled() || recent);
        }
        QCOMPARE(child<QCheckBox>("allCheckBox")->isHidden(), recent);
        QCOMPARE(child<QLabel>("selectCountLabel")->isHidden(), recent);
        QCOMPARE(window->currentFileList() == nullptr, recent);
    }
}

void TestMainWidget::selectionAndSelectAll()
{
    window->cloudLeftButtonClicked(CloudPage::Pictures);
    auto *list = child<QListWidget>("picListWidget");
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i < 3; ++i)
        (new QListWidgetItem(QStringLiteral("p%1.jpg").arg(i), list))->setData(Qt::UserRole, 2);
    auto *all = child<QCheckBox>("allCheckBox");
    auto *count = child<QLabel>("selectCountLabel");
    all->setChecked(true);
    QCOMPARE(list->selectedItems().size(), 3);
    QVERIFY(count->text().contains('3'));
    QVERIFY(child("downloadButton")->isEnabled());
    // Deselecting one while all are selected unchecks the box, which deselects every item.
    list->item(1)->setSelected(false);
    QVERIFY(!all->isChecked());
    QCOMPARE(list->selectedItems().size(), 0);
    QVERIFY(count->text().contains('0'));

    // In the video list a selection of folders only enables no download.
    window->cloudLeftButtonClicked(CloudPage::Videos);
    auto *videos = child<QListWidget>("videoListWidget");
    auto *folder = new QListWidgetItem(QStringLiteral("series"), videos);
    folder->setData(Qt::UserRole, 1);
    new QListWidgetItem(QStringLiteral("other"), videos);
    folder->setSelected(true);
    QVERIFY(!child("downloadButton")->isEnabled());
    QVERIFY(!all->isChecked());
    QVERIFY(count->text().contains('1'));
}

void TestMainWidget::settingsColumns()
{
    auto *settings = child<QStackedWidget>("settingStackedWidget");
    auto *refresh = child("refreshDeviceButton");
    QVERIFY(refresh->isHidden()); // the page opens on the save-path column
    window->settingLeftButtonClicked(SettingsPage::BoundDevices);
    QVERIFY(!refresh->isHidden());
    window->settingLeftButtonClicked(SettingsPage::SavePath);
    QVERIFY(refresh->isHidden());
    // The LAN page is reached only through its hidden button; "返回" goes back.
    QVERIFY(child("localDeviceButton")->isHidden());
    child("localDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), int(SettingsPage::LanDevices));
    child("userDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), int(SettingsPage::BoundDevices));
}

// The maximise button names what it will do next, for tool tips and screen readers.
void TestMainWidget::doubleClickMaximisesInBandOnly()
{
    QVERIFY(show());
    auto *max = child("maxButton");
    const QString maximise = max->accessibleName();
    QVERIFY(!maximise.isEmpty());
    const int band = child<QWidget>("topWidget")->height();
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(400, band + 50), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!window->isMaximized());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(window->isMaximized());
    QVERIFY(max->accessibleName() != maximise);
    QCOMPARE(max->toolTip(), max->accessibleName());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(!window->isMaximized());
    QCOMPARE(max->accessibleName(), maximise);
    max->click();
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
    window->move(0, 0);
    QVERIFY(show());
    auto *grip = window->findChild<ResizeLabel *>();
    QTRY_COMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());
    const QSize before = window->size();
    QCOMPARE(gripDrag(grip, QPoint(37, 23)), QPoint(37, 23));
    QTRY_COMPARE(window->size(), before + QSize(37, 23));
    QCOMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());

    // Shrinking stops at the minimum, and the grip stays in the corner.
    gripDrag(grip, QPoint(-200, -120));
    QTRY_COMPARE(window->size(), window->minimumSize());
    QCOMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());
    window->resizeWindow(-5, -5);
    QCOMPARE(window->size(), window->minimumSize());
}

void TestMainWidget::closeWithoutTrayMinimises_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("close button") << true;
    QTest::newRow("window system") << false;
}

// Without a system tray (as here) a hidden window could only come back through a second start:
// closing minimises it instead.
void TestMainWidget::closeWithoutTrayMinimises()
{
    QFETCH(bool, byButton);
    QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    QVERIFY(show());
    if (byButton)
        child("closeButton")->click();
    else
        window->windowHandle()->close();
    QTRY_VERIFY(window->isMinimized());
    QVERIFY(window->isVisible());
}

void TestMainWidget::userMenuQuitAsksAndCanBeDeclined()
{
    QVERIFY(show());
    QVERIFY(modalOpenedBy(
        [this] { child<QToolButton>("userButton")->menu()->actions().at(1)->trigger(); }));
    QVERIFY(window->isVisible());
}

void TestMainWidget::switchAccountHidesWindow()
{
    QVERIFY(show());
    auto *devices = child<QListWidget>("userDeviceListWidget");
    devices->addItem(QStringLiteral("device"));
    const QString filled = devices->styleSheet();
    child<QToolButton>("userButton")->menu()->actions().at(0)->trigger();
    QVERIFY(!window->isVisible());
    QVERIFY(!window->isMinimized());
    QCOMPARE(child<QToolButton>("userButton")->text(), QStringLiteral("登录"));
    QCOMPARE(devices->count(), 0);
    QVERIFY(devices->styleSheet() != filled); // the empty-list picture again
}

void TestMainWidget::secondStartBringsWindowForward()
{
    auto poke = [] {
        QLocalSocket socket;
        socket.connectToServer(singleInstanceName());
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

void TestMainWidget::savePath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("stored");
    QTest::newRow("existing folder") << QDir::tempPath() + "/保存 目录" << true;
    QTest::newRow("missing folder") << "/no/such/folder" << false;
    QTest::newRow("empty") << QString() << false;
}

// 确定 stores an existing folder in the setting table, where the next start finds it again; a
// path that does not exist is refused and leaves the stored one; 取消 shows the stored one again.
void TestMainWidget::savePath()
{
    QFETCH(QString, folder);
    QFETCH(bool, stored);
    QVERIFY(QDir().mkpath(QDir::tempPath() + "/保存 目录"));
    const QString before = QDir::tempPath();
    QCOMPARE(SetSavePath(before), 0);
    restart();
    window->show();
    auto *edit = child<QLineEdit>("savePathEdit");
    QCOMPARE(edit->text(), before);

    window->SettingSavePathSelected(folder);
    QCOMPARE(edit->text(), folder);
    child("okBtn")->click();
    QVERIFY(MessageBox::queueHead());
    QCOMPARE(MessageBox::queueHead()->text().contains(folder), !stored);
    const QString expected = stored ? folder : before;
    QCOMPARE(GetSavePath(), expected);
    edit->setText(QStringLiteral("typed, not saved"));
    child("cancelBtn")->click();
    QCOMPARE(edit->text(), expected);

    restart();
    QCOMPARE(child<QLineEdit>("savePathEdit")->text(), expected);
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
