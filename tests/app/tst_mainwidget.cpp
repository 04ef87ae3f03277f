#include "app/mainwidget.h"
#include "app/messagebox.h"
#include "app/resizelabel.h"

#include "sendmouse.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocalSocket>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <QtWebEngineWidgets/QWebEngineView>

class TestMainWidget : public QObject
{
    Q_OBJECT

public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private slots:
    void init();
    void cleanup();
    void windowAndForm();
    void pagesInIndexOrder();
    void addedWidgets();
    void versionFromSettings();
    void topNavigation();
    void cloudCategories_data();
    void cloudCategories();
    void taskAndSettingColumns();
    void currentFileListMapping();
    void selectionAndSelectAll();
    void dragOnlyFromTopBand();
    void doubleClickMaximisesInBandOnly();
    void gripResizes();
    void userMenuQuitAsksAndCanBeDeclined();
    void switchAccountHidesWindow();
    void secondStartBringsWindowForward();
    void unknownLinkToast();
    void savePathButtons();

private:
    template <typename T> T *child(const char *name)
    {
        T *w = window->findChild<T *>(QString::fromLatin1(name));
        if (!w)
            qWarning("missing child %s", name);
        return w;
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

void TestMainWidget::windowAndForm()
{
    QCOMPARE(MainWidget::instance(), window);
    QVERIFY(!window->isVisible()); // shown only at sign-in
    QCOMPARE(window->size(), QSize(920, 650));
    QCOMPARE(window->minimumSize(), QSize(900, 650));
    QCOMPARE(window->windowTitle(), QStringLiteral("Kelvora"));
    QCOMPARE(window->windowModality(), Qt::WindowModal);
    QVERIFY(window->isWindow());
    QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(window->styleSheet(),
             QStringLiteral("QWidget{\nfont-family: \"微软雅黑\";\nfont-size: 12px;\n}\n"
                            "QPushButton{\nfont-size: 14px;\n}\n"));

    // Buttons, labels and the check box alike: the "text" property.
    const QList<QPair<const char *, QString>> texts = {
        {"cloudButton", "Kelvora"},
        {"taskButton", "我的任务"},
        {"syncButton", "同步云盘"},
        {"settingsButton", "设置"},
        {"userButton", "登录"},
        {"uploadButton", "上传"},
        {"clearRecentButton", "清空记录"},
        {"downloadButton", "下载"},
        {"deleteButton", "删除"},
        {"createDirButton", "新建文件夹"},
        {"refreshButton", ""},
        {"recentButton", "最近"},
        {"allFileButton", "全部"},
        {"pictureButton", "照片"},
        {"videoButton", "视频"},
        {"docButton", "文档"},
        {"navLabel", "最近文件"},
        {"allCheckBox", "全选"},
        {"selectCountLabel", "已选中0个文件"},
        {"label_17", "传输列表"},
        {"upListButton", "上传列表"},
        {"downListButton", "下载列表"},
        {"syncListButton", "同步列表"},
        {"label_TotalUpSpeed", "传输速度："},
        {"label_TotalUpProgress", "上传进度："},
        {"btn_PauseAllUpload", "全部暂停"},
        {"btn_cancelAllUpload", "全部取消"},
        {"label_totalDownSpeed", "传输速度："},
        {"label_totalDownProgress", "下载进度："},
        {"btn_pauseAllDownload", "全部暂停"},
        {"btn_cancelAllDownload", "全部取消"},
        {"label_18", "基本设置"},
        {"setPathButton", "下载路径"},
        {"devManagerButton", "设备切换"},
        {"label_5", "文件缓存目录"},
        {"selSavePathBtn", "更改位置"},
        {"okBtn", "确定"},
        {"cancelBtn", "取消"},
        {"refreshDeviceButton", "刷新"},
        {"localDeviceButton", "查看局域网设备"},
        {"userDeviceButton", "返回"},
    };
    for (const auto &t : texts) {
        QWidget *w = child<QWidget>(t.first);
        QVERIFY2(w, t.first);
        QCOMPARE(w->property("text").toString(), t.second);
    }
    QCOMPARE(child<QPushButton>("refreshButton")->toolTip(), QStringLiteral("刷新"));
    for (const char *name : {"cloudButton", "recentButton", "upListButton", "setPathButton"})
        QVERIFY2(child<QPushButton>(name)->isChecked(), name);
    for (const char *name : {"taskButton", "allFileButton", "downListButton", "devManagerButton"})
        QVERIFY2(!child<QPushButton>(name)->isChecked(), name);
    QCOMPARE(child<QLabel>("navLabel")->styleSheet(),
             QStringLiteral("text-decoration:none;\ncolor:#a0a0a0;"));

    auto *user = child<QToolButton>("userButton");
    QCOMPARE(user->popupMode(), QToolButton::InstantPopup);
    QVERIFY(user->menu());
    QStringList actions;
    for (QAction *a : user->menu()->actions())
        actions << a->text();
    QCOMPARE(actions, QStringList({QStringLiteral("切换账号"), QStringLiteral("退出")}));

    QCOMPARE(child<QListWidget>("userDeviceListWidget")->toolTip(), QStringLiteral("我关联的设备"));
    QCOMPARE(child<QListWidget>("localDeviceListWidget")->toolTip(), QStringLiteral("局域网设备"));
    QVERIFY(child<QWebEngineView>("SyncWeb"));
    QVERIFY(child<QWebEngineView>("yunpanWeb"));
    auto *tabs = child<QTabWidget>("syncTabWidget");
    QCOMPARE(tabs->count(), 1);
    QCOMPARE(tabs->tabText(0), QStringLiteral("360云盘"));
    QVERIFY(tabs->widget(0)->isAncestorOf(child<QWidget>("yunpanWeb")));
    QVERIFY(child<QLabel>("logoLabel"));
    for (const char *name : {"minButton", "maxButton", "closeButton"})
        QVERIFY2(child<QPushButton>(name), name);
    QVERIFY(child<QWidget>("base")->styleSheet().contains(
        QStringLiteral("qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #5e8df4, stop:1 #4374e3)")));
}

void TestMainWidget::pagesInIndexOrder()
{
    auto *main = child<QStackedWidget>("mainStackedWidget");
    QCOMPARE(main->count(), 4);
    const QStringList pages = {"cloud", "task", "thirdparty", "settings"};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(main->widget(i)->objectName(), pages.at(i));
    QCOMPARE(main->currentIndex(), 0);

    auto holds = [this](const char *stack, const QStringList &names) {
        auto *s = child<QStackedWidget>(stack);
        QCOMPARE(s->count(), names.size());
        QCOMPARE(s->currentIndex(), 0);
        for (int i = 0; i < names.size(); ++i) {
            QWidget *w = child<QWidget>(names.at(i).toLatin1().constData());
            QVERIFY(w);
            QVERIFY2(s->widget(i) == w || s->widget(i)->isAncestorOf(w), qPrintable(names.at(i)));
        }
    };
    holds("fileStackedWidget", {"recentTableWidget", "fileListWidget", "picListWidget",
                                "videoListWidget", "docListWidget"});
    holds("taskStackedWidget", {"uploadListWidget", "downloadListWidget", "SyncWeb"});
    holds("settingStackedWidget",
          {"savePathEdit", "userDeviceListWidget", "localDeviceListWidget"});
    QVERIFY(child<QTableWidget>("recentTableWidget"));
    for (const char *name : {"fileListWidget", "picListWidget", "videoListWidget", "docListWidget",
                             "uploadListWidget", "downloadListWidget"})
        QVERIFY2(child<QListWidget>(name), name);
}

void TestMainWidget::addedWidgets()
{
    for (const char *text : {"当前设备", "未知"}) {
        QLabel *label = deviceLabel(text);
        QVERIFY2(label, text);
        QCOMPARE(label->styleSheet(), QStringLiteral("color:#a0a0a0;"));
    }

    auto *logo = child<QLabel>("logoLabel");
    QList<QLabel *> version = logo->findChildren<QLabel *>();
    QCOMPARE(version.size(), 1);
    QCOMPARE(version.first()->text(), QStringLiteral("V1.0.0.0"));
    QCOMPARE(version.first()->pos(), QPoint(90, 65));
    QCOMPARE(version.first()->styleSheet(), QStringLiteral("font-size:12px;"));

    QVERIFY(child<QPushButton>("localDeviceButton")->isHidden());
    QCOMPARE(window->findChildren<ResizeLabel *>().size(), 1);
}

void TestMainWidget::versionFromSettings()
{
    delete window;
    {
        QSettings settings(QStringLiteral("Vantor Network"), QStringLiteral("Tovrik"));
        settings.setValue(QStringLiteral("client/version"), QStringLiteral("2.3.4.5"));
    }
    window = new MainWidget;
    QCOMPARE(child<QLabel>("logoLabel")->findChildren<QLabel *>().first()->text(),
             QStringLiteral("V2.3.4.5"));
    QSettings(QStringLiteral("Vantor Network"), QStringLiteral("Tovrik")).clear();
}

void TestMainWidget::topNavigation()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *main = child<QStackedWidget>("mainStackedWidget");
    QLabel *caption = deviceLabel("当前设备"), *name = deviceLabel("未知");
    QVERIFY(caption && name);
    const char *buttons[] = {"cloudButton", "taskButton", "syncButton", "settingsButton"};
    for (int i : {1, 3, 0, 2, 1}) {
        QTest::mouseClick(child<QPushButton>(buttons[i]), Qt::LeftButton);
        QCOMPARE(main->currentIndex(), i);
        QVERIFY(child<QPushButton>(buttons[i])->isChecked());
        QCOMPARE(caption->isVisible(), i != 2);
        QCOMPARE(name->isVisible(), i != 2);
    }
    // From code the checked button follows the page as well.
    window->topButtonClicked(3);
    QCOMPARE(main->currentIndex(), 3);
    QVERIFY(child<QPushButton>("settingsButton")->isChecked());
    QVERIFY(!child<QPushButton>("taskButton")->isChecked());
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
    const char *buttons[] = {"recentButton", "allFileButton", "pictureButton", "videoButton",
                             "docButton"};
    // Start from another category so that every switch is a real change.
    window->cloudLeftButtonClicked(index == 0 ? 4 : 0);
    QTest::mouseClick(child<QPushButton>(buttons[index]), Qt::LeftButton);
    QCOMPARE(child<QStackedWidget>("fileStackedWidget")->currentIndex(), index);
    QVERIFY(child<QPushButton>(buttons[index])->isChecked());
    QCOMPARE(child<QLabel>("navLabel")->text(), nav);

    const bool recent = index == 0;
    QCOMPARE(child<QPushButton>("clearRecentButton")->isHidden(), !recent);
    QVERIFY(child<QPushButton>("createDirButton")->isHidden());
    QCOMPARE(child<QPushButton>("downloadButton")->isHidden(), recent);
    QCOMPARE(child<QPushButton>("deleteButton")->isHidden(), recent);
    QCOMPARE(child<QCheckBox>("allCheckBox")->isHidden(), recent);
    QCOMPARE(child<QLabel>("selectCountLabel")->isHidden(), recent);
    QVERIFY(!child<QPushButton>("uploadButton")->isHidden());
    QVERIFY(!child<QPushButton>("refreshButton")->isHidden());
    if (!recent) {
        // Nothing selected: nothing to download or delete.
        QVERIFY(!child<QPushButton>("downloadButton")->isEnabled());
        QVERIFY(!child<QPushButton>("deleteButton")->isEnabled());
        QCOMPARE(child<QLabel>("selectCountLabel")->text(), QStringLiteral("已选中0个文件"));
    }
}

void TestMainWidget::taskAndSettingColumns()
{
    auto *tasks = child<QStackedWidget>("taskStackedWidget");
    QTest::mouseClick(child<QPushButton>("downListButton"), Qt::LeftButton);
    QCOMPARE(tasks->currentIndex(), 1);
    QVERIFY(child<QPushButton>("downListButton")->isChecked());
    QVERIFY(!child<QPushButton>("upListButton")->isChecked());
    window->taskLeftButtonClicked(0);
    QCOMPARE(tasks->currentIndex(), 0);
    QVERIFY(child<QPushButton>("upListButton")->isChecked());
    QVERIFY(!child<QPushButton>("downListButton")->isChecked());
    window->taskLeftButtonClicked(2);
    QCOMPARE(tasks->currentIndex(), 2);
    QVERIFY(child<QPushButton>("syncListButton")->isChecked());

    auto *settings = child<QStackedWidget>("settingStackedWidget");
    auto *refresh = child<QPushButton>("refreshDeviceButton");
    QTest::mouseClick(child<QPushButton>("devManagerButton"), Qt::LeftButton);
    QCOMPARE(settings->currentIndex(), 1);
    QVERIFY(!refresh->isHidden());
    QTest::mouseClick(child<QPushButton>("setPathButton"), Qt::LeftButton);
    QCOMPARE(settings->currentIndex(), 0);
    QVERIFY(refresh->isHidden());
    // The LAN page is reached only through its (hidden) button; "返回" goes back.
    settings->setCurrentIndex(2);
    child<QPushButton>("userDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), 1);
    child<QPushButton>("localDeviceButton")->click();
    QCOMPARE(settings->currentIndex(), 2);
}

void TestMainWidget::currentFileListMapping()
{
    const char *lists[] = {nullptr, "fileListWidget", "picListWidget", "videoListWidget",
                           "docListWidget"};
    auto *files = child<QStackedWidget>("fileStackedWidget");
    for (int i = 1; i <= 4; ++i) {
        files->setCurrentIndex(i);
        QCOMPARE(window->currentFileList(), child<QListWidget>(lists[i]));
    }
    files->setCurrentIndex(0);
    QTest::ignoreMessage(QtDebugMsg, "errer index of fileStackedWidget");
    QCOMPARE(window->currentFileList(), nullptr);
}

void TestMainWidget::selectionAndSelectAll()
{
    window->cloudLeftButtonClicked(2);
    auto *list = child<QListWidget>("picListWidget");
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    for (int i = 0; i < 3; ++i) {
        auto *item = new QListWidgetItem(QStringLiteral("p%1.jpg").arg(i), list);
        item->setData(Qt::UserRole, 2);
    }
    auto *all = child<QCheckBox>("allCheckBox");
    auto *count = child<QLabel>("selectCountLabel");
    all->setChecked(true);
    QCOMPARE(list->selectedItems().size(), 3);
    QCOMPARE(count->text(), QStringLiteral("已选中3个文件"));
    QVERIFY(child<QPushButton>("downloadButton")->isEnabled());
    QVERIFY(child<QPushButton>("deleteButton")->isEnabled());
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
    QVERIFY(!child<QPushButton>("downloadButton")->isEnabled());
    QVERIFY(!child<QPushButton>("deleteButton")->isEnabled());
    QVERIFY(!all->isChecked());
    QCOMPARE(count->text(), QStringLiteral("已选中1个文件"));
}

void TestMainWidget::dragOnlyFromTopBand()
{
    window->move(50, 40);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QTRY_COMPARE(window->pos(), QPoint(50, 40));
    const int band = child<QWidget>("topWidget")->height();
    QVERIFY(band > 20);

    // Below the top band: the window stays.
    const QPoint body(400, band + 40);
    sendMouse(window, QEvent::MouseButtonPress, body, Qt::LeftButton);
    sendMouse(window, QEvent::MouseMove, body + QPoint(30, 20), Qt::LeftButton);
    sendMouse(window, QEvent::MouseButtonRelease, body + QPoint(30, 20), Qt::NoButton);
    QCoreApplication::processEvents();
    QCOMPARE(window->pos(), QPoint(50, 40));

    // In the band: the window follows.
    const QPoint press(600, band / 2);
    sendMouse(window, QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(window, QEvent::MouseMove, press + QPoint(30, 20), Qt::LeftButton);
    QTRY_COMPARE(window->pos(), QPoint(80, 60));
    sendMouse(window, QEvent::MouseButtonRelease, press, Qt::NoButton);
    sendMouse(window, QEvent::MouseMove, press + QPoint(100, 100), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(window->pos(), QPoint(80, 60));

    // The last press outside the band must not leave a stale drag origin behind.
    sendMouse(window, QEvent::MouseButtonPress, press, Qt::LeftButton);
    sendMouse(window, QEvent::MouseButtonRelease, press, Qt::NoButton);
    sendMouse(window, QEvent::MouseButtonPress, body, Qt::LeftButton);
    sendMouse(window, QEvent::MouseMove, body + QPoint(10, 10), Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(window->pos(), QPoint(80, 60));
}

void TestMainWidget::doubleClickMaximisesInBandOnly()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const int band = child<QWidget>("topWidget")->height();
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(400, band + 50), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(!window->isMaximized());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(window->isMaximized());
    sendMouse(window, QEvent::MouseButtonDblClick, QPoint(600, band / 2), Qt::LeftButton);
    QTRY_VERIFY(!window->isMaximized());
    child<QPushButton>("maxButton")->click();
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
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
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
    QCOMPARE(grip->geometry().bottomRight(), window->rect().bottomRight());
    window->resizeWindow(-5, -5);
    QCOMPARE(window->size(), QSize(900, 650));
}

void TestMainWidget::userMenuQuitAsksAndCanBeDeclined()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    QAction *quit = child<QToolButton>("userButton")->menu()->actions().at(1);
    QString asked;
    QTimer::singleShot(0, [&asked] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        asked = modal->findChild<QLabel *>(QStringLiteral("label_tip"))->text();
        modal->findChild<QPushButton *>(QStringLiteral("btn_cancel"))->click();
    });
    quit->trigger();
    QCOMPARE(asked, QStringLiteral("是否退出程序？"));
    QVERIFY(window->isVisible());
}

void TestMainWidget::switchAccountHidesWindow()
{
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
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
    auto *edit = window->findChild<QLineEdit *>(QStringLiteral("savePathEdit"));
    window->SettingSavePathSelected(QDir::tempPath());
    QCOMPARE(edit->text(), QDir::tempPath());
    child<QPushButton>("okBtn")->click();
    QCOMPARE(MessageBox::queueHead()->text(), QStringLiteral("保存成功"));
    edit->setText(QStringLiteral("/no/such/folder"));
    child<QPushButton>("okBtn")->click();
    QCOMPARE(MessageBox::queueHead()->nextToast()->text(),
             QStringLiteral("设置失败，非法路径:/no/such/folder"));
    child<QPushButton>("cancelBtn")->click();
    QCOMPARE(edit->text(), QDir::tempPath());
}

QTEST_MAIN(TestMainWidget)
#include "tst_mainwidget.moc"
