#include "app/mainwidget.h"
#include "ui_mainwidget.h"

#include "account/logindialog.h"
#include "account/useridentity.h"
#include "account/usermgr.h"
#include "app/fileactions.h"
#include "app/filepagekeys.h"
#include "app/framelessdrag.h"
#include "app/messagebox.h"
#include "app/pages.h"
#include "app/resizelabel.h"
#include "app/savepathsection.h"
#include "app/transferactions.h"
#include "app/windowdevicehost.h"
#include "app/yesnodialog.h"
#include "browse/explorer.h"
#include "browse/filepaths.h"
#include "device/deviceitem.h"
#include "device/devicelistwidget.h"
#include "device/deviceselection.h"
#include "device/localdevicelistwidget.h"
#include "device/networkerrortext.h"
#include "device/userdevicelistwidget.h"
#include "platform/appdirs.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "store/database.h"
#include "transfer/recentfile.h"
#include "transfer/tasklistwidget.h"
#include "transfer/taskmanager.h"
#include "web/syncprocess.h"
#include "web/webpanes.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>

namespace {
MainWidget *mainWidgetInstance = nullptr;

// Checks the button with the id and thereby unchecks the rest of the exclusive group, so the
// checked button always names the page shown, also when a slot is called from code.
void checkOnly(QButtonGroup *group, int id)
{
    if (QAbstractButton *button = group->button(id))
        button->setChecked(true);
}
} // namespace

MainWidget::MainWidget(QWidget *parent) : QWidget(parent), ui(new Ui::MainWidget)
{
    mainWidgetInstance = this;
    ui->setupUi(this);
    drag = new FramelessDrag(this, ui->topWidget);

    ui->mainStackedWidget->setCurrentIndex(MainPage::Cloud);
    ui->fileStackedWidget->setCurrentIndex(CloudPage::Recent);
    ui->taskStackedWidget->setCurrentIndex(TaskPage::Upload);
    ui->settingStackedWidget->setCurrentIndex(SettingsPage::SavePath);

    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/image/icon.png")));

    versionLabel = new QLabel(ui->logoLabel);
    versionLabel->move(90, 65);
    versionLabel->setStyleSheet(QStringLiteral("font-size:12px;"));
    deviceCaptionLabel = new QLabel(tr("当前设备"), ui->base);
    deviceCaptionLabel->setStyleSheet(QStringLiteral("color:#a0a0a0;"));
    deviceNameLabel = new QLabel(tr("未知"), ui->base);
    deviceNameLabel->setObjectName(QStringLiteral("deviceNameLabel"));
    deviceNameLabel->setStyleSheet(QStringLiteral("color:#a0a0a0;"));
    deviceNameLabel->setTextFormat(Qt::PlainText); // the device's name, from the box
    deviceNameLabel->adjustSize();
    ui->localDeviceButton->hide();
    // The settings page opens on its save-path column, where refreshing devices means nothing.
    ui->refreshDeviceButton->hide();

    openDatabase();
    startLocalServer();

    settingsStore = openSettingsStore(this);
    const QString version = settingsStore->value(QStringLiteral("version")).toString();
    versionLabel->setText(version.isEmpty() ? QStringLiteral("V1.0.0.0")
                                            : QStringLiteral("V") + version);
    versionLabel->adjustSize();

    createManagers(version.isEmpty() ? QStringLiteral("1.0.0.0") : version);
    startDiscovery();

    saveSection =
        new SavePathSection(ui->savePathEdit, ui->selSavePathBtn, ui->okBtn, ui->cancelBtn, this);

    createTransferActions();
    setupConnections();
    cloudLeftButtonClicked(CloudPage::Recent);
    OnUpdateTaskInfo(nullptr);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move((area.width() - width()) / 2, (area.height() - height()) / 2);
    }

    createLoginDialog();
    prepareSyncConfig();
}

MainWidget::~MainWidget()
{
    // aria2 goes with the window.
    delete syncProcess;
    syncProcess = nullptr;
    userMgr->Uninit();
    // Also reached on SIGTERM, SIGINT and SIGHUP, which end the event loop normally.
    taskManager->saveAll();
    // The lists go after the toolbar their selection updates: nothing of theirs reaches it now.
    for (QListWidget *list : std::initializer_list<QListWidget *>{
             ui->fileListWidget, ui->picListWidget, ui->videoListWidget, ui->docListWidget})
        list->disconnect(this);
    // The dialog holds a pointer to the user manager: it goes first.
    delete loginDialog;
    delete userMgr;
    delete identity;
    if (mainWidgetInstance == this)
        mainWidgetInstance = nullptr;
    delete ui;
}

MainWidget *MainWidget::instance()
{
    return mainWidgetInstance;
}

void MainWidget::startLocalServer()
{
    localServer = ::startLocalServer(this, [this] { showAndActivateWindow(); });
}

void MainWidget::setupConnections()
{
    trayMenu = new QMenu(this);
    QAction *trayQuit = trayMenu->addAction(tr("退出"));
    connect(trayQuit, &QAction::triggered, qApp, &QCoreApplication::quit);
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setToolTip(windowTitle());
    trayIcon->setContextMenu(trayMenu);
    connect(trayIcon, &QSystemTrayIcon::activated, this, &MainWidget::OnTrayActivated);

    userMenu = new QMenu(this);
    QAction *switchAction = userMenu->addAction(tr("切换账号"));
    connect(switchAction, &QAction::triggered, this, &MainWidget::switchAccount);
    QAction *quitAction = userMenu->addAction(tr("退出"));
    connect(quitAction, &QAction::triggered, this, &MainWidget::OnQuitRequested);
    userMenu->setStyleSheet(
        QStringLiteral("QMenu { background-color: rgb(44,88,182); }QMenu::item{background-color: "
                       "rgb(55,96,185); color: rgb(255,255,255); "
                       "}QMenu::item:selected{background-color:rgb(44,88,182);}"));
    userMenu->setWindowFlags(userMenu->windowFlags() | Qt::NoDropShadowWindowHint);
    ui->userButton->setMenu(userMenu);

    resizeGrip = new ResizeLabel(this);
    resizeGrip->setPixmap(QPixmap(QStringLiteral(":image/resize.png")));
    const QPixmap grip = resizeGrip->pixmap(Qt::ReturnByValue);
    // Until the picture exists, keep a grabbable corner all the same.
    resizeGrip->resize(grip.isNull() ? QSize(12, 12) : grip.size());
    resizeGrip->show();
    connect(resizeGrip, &ResizeLabel::resizeWindow, this, &MainWidget::resizeWindow);

    topGroup = new QButtonGroup(this);
    topGroup->addButton(ui->cloudButton, MainPage::Cloud);
    topGroup->addButton(ui->taskButton, MainPage::Task);
    topGroup->addButton(ui->syncButton, MainPage::Sync);
    topGroup->addButton(ui->settingsButton, MainPage::Settings);
    connect(topGroup, &QButtonGroup::idClicked, this, &MainWidget::topButtonClicked);

    cloudLeftGroup = new QButtonGroup(this);
    cloudLeftGroup->addButton(ui->recentButton, CloudPage::Recent);
    cloudLeftGroup->addButton(ui->allFileButton, CloudPage::Explorer);
    cloudLeftGroup->addButton(ui->pictureButton, CloudPage::Pictures);
    cloudLeftGroup->addButton(ui->videoButton, CloudPage::Videos);
    cloudLeftGroup->addButton(ui->docButton, CloudPage::Documents);
    connect(cloudLeftGroup, &QButtonGroup::idClicked, this, &MainWidget::cloudLeftButtonClicked);

    taskLeftGroup = new QButtonGroup(this);
    taskLeftGroup->addButton(ui->upListButton, TaskPage::Upload);
    taskLeftGroup->addButton(ui->downListButton, TaskPage::Download);
    taskLeftGroup->addButton(ui->syncListButton, TaskPage::Sync);
    connect(taskLeftGroup, &QButtonGroup::idClicked, this, &MainWidget::taskLeftButtonClicked);

    settingLeftGroup = new QButtonGroup(this);
    settingLeftGroup->addButton(ui->setPathButton, SettingsPage::SavePath);
    settingLeftGroup->addButton(ui->devManagerButton, SettingsPage::BoundDevices);
    connect(settingLeftGroup, &QButtonGroup::idClicked, this,
            &MainWidget::settingLeftButtonClicked);

    for (QListWidget *list : std::initializer_list<QListWidget *>{
             ui->fileListWidget, ui->picListWidget, ui->videoListWidget, ui->docListWidget}) {
        connect(list, &QListWidget::itemSelectionChanged, this, &MainWidget::itemSelectChanged);
    }
    connect(ui->minButton, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->maxButton, &QPushButton::clicked, this, &MainWidget::showNormalOrMax);
    connect(ui->closeButton, &QPushButton::clicked, this, &MainWidget::OnCloseClicked);
    connect(saveSection, &SavePathSection::saved, this, &MainWidget::rewriteSyncConfig);
    connect(ui->userDeviceListWidget, &QListWidget::itemDoubleClicked, this,
            &MainWidget::deviceItemDClicked);
    connect(ui->localDeviceListWidget, &QListWidget::itemDoubleClicked, this,
            &MainWidget::deviceItemDClicked);
    connect(ui->refreshButton, &QPushButton::clicked, this, &MainWidget::refreshButtonClicked);
    connect(ui->uploadButton, &QPushButton::clicked, this, &MainWidget::uploadButtonClicked);
    connect(ui->downloadButton, &QPushButton::clicked, this, &MainWidget::downloadButtonClicked);
    connect(ui->deleteButton, &QPushButton::clicked, this, &MainWidget::removeButtonClicked);
    connect(ui->clearRecentButton, &QPushButton::clicked, transferActions,
            &TransferActions::clearRecent);
    connect(ui->allCheckBox, &QCheckBox::stateChanged, this, &MainWidget::checkAllItem);
    connect(ui->navLabel, &QLabel::linkActivated, this, &MainWidget::OnNavLinkActivated);
    connect(ui->localDeviceButton, &QPushButton::clicked, this,
            [this] { ui->settingStackedWidget->setCurrentIndex(SettingsPage::LanDevices); });
    connect(ui->userDeviceButton, &QPushButton::clicked, this,
            [this] { ui->settingStackedWidget->setCurrentIndex(SettingsPage::BoundDevices); });

    connectLaterParts();
}

// ---- navigation -------------------------------------------------------------------------

void MainWidget::topButtonClicked(int index)
{
    checkOnly(topGroup, index);
    ui->mainStackedWidget->setCurrentIndex(index);
    deviceCaptionLabel->setVisible(index != MainPage::Sync);
    deviceNameLabel->setVisible(index != MainPage::Sync);
    if (index == MainPage::Sync)
        startCloudDiskPane();
}

void MainWidget::cloudLeftButtonClicked(int index)
{
    checkOnly(cloudLeftGroup, index);
    ui->clearRecentButton->hide();
    ui->createDirButton->hide();
    ui->downloadButton->hide();
    ui->deleteButton->hide();
    ui->allCheckBox->show();
    ui->selectCountLabel->show();
    ui->fileStackedWidget->setCurrentIndex(index);

    switch (index) {
    case CloudPage::Recent:
        ui->clearRecentButton->show();
        ui->navLabel->setText(tr("最近文件"));
        reloadRecentFiles();
        ui->allCheckBox->hide();
        ui->selectCountLabel->hide();
        break;
    case CloudPage::Explorer:
        if (listTotal(ui->fileListWidget) == -1) {
            queryExplorer(QString());
            ui->navLabel->setText(tr("全部文件"));
        } else {
            ui->navLabel->setText(explorerBreadcrumb());
        }
        break;
    case CloudPage::Pictures:
        if (listTotal(ui->picListWidget) == -1)
            reloadList(ui->picListWidget);
        ui->navLabel->setText(tr("全部照片"));
        break;
    case CloudPage::Videos:
        if (listTotal(ui->videoListWidget) != -1) {
            ui->navLabel->setText(videoBreadcrumb());
        } else {
            reloadList(ui->videoListWidget);
            ui->navLabel->setText(tr("全部视频"));
        }
        break;
    case CloudPage::Documents:
        if (listTotal(ui->docListWidget) == -1)
            reloadList(ui->docListWidget);
        ui->navLabel->setText(tr("全部文档"));
        break;
    default:
        break;
    }
    if (ui->fileStackedWidget->currentIndex() != CloudPage::Recent)
        itemSelectChanged();
}

void MainWidget::taskLeftButtonClicked(int index)
{
    for (QAbstractButton *button : taskLeftGroup->buttons()) {
        button->setChecked(false);
        button->repaint();
    }
    if (QAbstractButton *button = taskLeftGroup->button(index)) {
        button->setChecked(true);
        button->repaint();
    }
    ui->taskStackedWidget->setCurrentIndex(index);
    if (index == TaskPage::Sync)
        startSyncPane();
    repaint();
}

void MainWidget::settingLeftButtonClicked(int index)
{
    checkOnly(settingLeftGroup, index);
    ui->settingStackedWidget->setCurrentIndex(index);
    ui->refreshDeviceButton->setVisible(index == SettingsPage::BoundDevices);
}

QListWidget *MainWidget::currentFileList() const
{
    return fileActions->currentFileList();
}

// ---- window chrome ----------------------------------------------------------------------

void MainWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (drag->inBand(event->pos()))
        showNormalOrMax();
    QWidget::mouseDoubleClickEvent(event);
}

void MainWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    deviceNameLabel->move(38, height() - 42);
    deviceCaptionLabel->move(38, deviceNameLabel->y() - 25);
    if (resizeGrip)
        resizeGrip->move(width() - resizeGrip->width(), height() - resizeGrip->height());
    ui->recentTableWidget->setColumnWidth(0, width() - 360);
}

void MainWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        const QString text = isMaximized() ? tr("还原") : tr("最大化");
        ui->maxButton->setToolTip(text);
        ui->maxButton->setAccessibleName(text);
    }
}

void MainWidget::OnCloseClicked()
{
    // Hidden without a tray icon, the window could only come back through a second start.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        close();
    else
        showMinimized();
}

void MainWidget::closeEvent(QCloseEvent *event)
{
    // The window system's close (Alt+F4, the task bar) follows the close button; the sign-out
    // closes every window (Qt reports that as spontaneous too) and hides this one.
    if (event->spontaneous() && !signingOut && !QSystemTrayIcon::isSystemTrayAvailable()) {
        event->ignore();
        showMinimized();
        return;
    }
    QWidget::closeEvent(event);
}

void MainWidget::resizeWindow(int dx, int dy)
{
    resize(width() + dx, height() + dy);
}

void MainWidget::showNormalOrMax()
{
    if (isMaximized())
        showNormal();
    else
        showMaximized();
}

void MainWidget::showAndActivateWindow()
{
    if (!isVisible())
        show();
    else if (isMinimized())
        showNormal();
    activateWindow();
}

void MainWidget::OnTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick)
        showAndActivateWindow();
}

void MainWidget::OnQuitRequested()
{
    YesNoDialog dialog(tr("是否退出程序？"), this);
    connect(&dialog, &QDialog::accepted, qApp, &QCoreApplication::quit);
    dialog.exec();
}

// ---- sign-in ----------------------------------------------------------------------------

void MainWidget::OnLoginFinish(int errCode)
{
    if (errCode == 0) {
        readIdentity();
        forgetDeviceOfOtherAccount();
        show();
        loginDialog->accept();
        // Without a system tray (some desktops, Xvfb) the icon would only warn.
        if (QSystemTrayIcon::isSystemTrayAvailable())
            trayIcon->show();
        loadBoundDevices();
        return;
    }
    MessageBox::showMessage(Error, tr("登录失败！ %1").arg(UserMgr::ErrorText(errCode)),
                            loginDialog, false, 2000, QPoint(16, 118));
}

void MainWidget::OnLoginOverTime()
{
    if (QWidget *dialog = loginDialogWidget())
        MessageBox::showMessage(Error, tr("登录失败，请检查网络"), dialog, true, 100000,
                                QPoint(16, 118));
    loginDialog->OnLoginFinish(-10000);
}

void MainWidget::OnKickOut()
{
    if (QWidget *dialog = loginDialogWidget())
        MessageBox::showMessage(Error, tr("已在其他地方登录"), dialog, false, 2000);
    switchAccount();
}

void MainWidget::switchAccount()
{
    signOut();
    fileActions->clearLists();
    ui->userButton->setText(tr("登录"));
    // A load still under way must not refill the list for nobody.
    ui->userDeviceListWidget->abortLoads();
    ui->userDeviceListWidget->clearDevices();
    signingOut = true;
    QApplication::closeAllWindows();
    signingOut = false;
    trayIcon->hide();
    if (!isSignedIn())
        showLoginDialog();
}

void MainWidget::showLoginDialog()
{
    if (isSignedIn() || !loginDialog)
        return;
    // After a sign-out the dialog shows the newest remembered account again.
    loginDialog->ShowLastLogin();
    loginDialog->show();
}

// ---- devices ----------------------------------------------------------------------------

void MainWidget::deviceItemDClicked(QListWidgetItem *item)
{
    selectDevice(item);
}

void MainWidget::selectDevice(QListWidgetItem *item)
{
    DeviceItem *chosen = DeviceSelection::cardOf(item);
    if (!chosen)
        return;
    currentDevId = chosen->deviceid;
    currentDevUserId = identity ? identity->userId : 0;
    // The chosen card and the same device's card in the other list carry the mark.
    ui->userDeviceListWidget->markCurrent(currentDevId);
    ui->localDeviceListWidget->markCurrent(currentDevId);
    fileActions->deviceChanged();
    deviceNameLabel->setText(DeviceSelection::nameText(chosen));
    deviceNameLabel->adjustSize();
    // Only a bound device is remembered for the next start.
    if (item->listWidget() == ui->userDeviceListWidget)
        settingsStore->setValue(QStringLiteral("settings/curr_devid"), currentDevId);
    refreshButtonClicked();
    emit currentDeviceChanged();
}

DeviceItem *MainWidget::currentDevice()
{
    return DeviceSelection::resolveCurrent(ui->localDeviceListWidget, ui->userDeviceListWidget,
                                           currentDevId);
}

void MainWidget::clearCurrentDevice()
{
    currentDevId.clear();
    currentDevUserId = 0;
    ui->userDeviceListWidget->markCurrent(QString());
    ui->localDeviceListWidget->markCurrent(QString());
    fileActions->clearLists();
    deviceNameLabel->setText(tr("未知"));
    deviceNameLabel->adjustSize();
    emit currentDeviceChanged();
}

void MainWidget::forgetDeviceOfOtherAccount()
{
    if (currentDevId.isEmpty() || !identity || identity->userId == currentDevUserId)
        return;
    if (ui->localDeviceListWidget->findDevice(currentDevId)) {
        currentDevUserId = identity->userId;
        return;
    }
    clearCurrentDevice();
}

void MainWidget::restoreCurrentDevice()
{
    if (ui->mainStackedWidget->currentIndex() == MainPage::Settings) {
        MessageBox::showMessage(Done, tr("设备列表已刷新"), this, true, 2000);
        return;
    }
    // Set only through selectDevice: with no bound devices the current device stays as it
    // was, and currentDevice() never changes without currentDeviceChanged().
    const QString storedId = settingsStore->value(QStringLiteral("settings/curr_devid")).toString();
    if (QListWidgetItem *item = DeviceSelection::restoreTarget(ui->userDeviceListWidget, storedId))
        selectDevice(item);
}

// ---- toolbar, transfers, settings page -----------------------------------------------------

void MainWidget::OnAddOneTask(Task *task)
{
    transferActions->OnAddOneTask(task);
}

void MainWidget::OnUpdateTaskInfo(Task *task)
{
    transferActions->OnUpdateTaskInfo(task);
}

void MainWidget::OnTaskChanged(Task *task)
{
    transferActions->OnTaskChanged(task);
}

void MainWidget::networkError(QNetworkReply::NetworkError code)
{
    const QString text = networkErrorText(code);
    if (!text.isEmpty())
        MessageBox::showMessage(Error, text, this, false, 2000);
}

void MainWidget::downloadButtonClicked()
{
    transferActions->download(currentFileList());
}

void MainWidget::uploadButtonClicked()
{
    transferActions->upload();
}

void MainWidget::removeButtonClicked()
{
    fileActions->removeSelected();
}

void MainWidget::refreshButtonClicked()
{
    fileActions->refresh();
}

void MainWidget::itemSelectChanged()
{
    fileActions->itemSelectChanged();
}

void MainWidget::checkAllItem(int state)
{
    fileActions->checkAllItem(state);
}

void MainWidget::SettingSavePathSelected(const QString &path)
{
    saveSection->setChosen(path);
}

void MainWidget::OnNavLinkActivated(const QString &link)
{
    fileActions->openLink(link);
}

// ---- hooks ------------------------------------------------------------------------------

void MainWidget::openDatabase()
{
    InitDatabase();
}

void MainWidget::createManagers(const QString &version)
{
    taskManager =
        new TaskManager([this]() -> const DeviceRecord * { return currentDevice(); }, this);
    connect(this, &MainWidget::currentDeviceChanged, taskManager,
            &TaskManager::OnCurrentDeviceChanged);
    connect(taskManager, &TaskManager::networkError, this, &MainWidget::networkError);
    taskManager->loadTasks();
    userMgr = new UserMgr;
    userMgr->Init(version, 81);
}

void MainWidget::startDiscovery()
{
    // The device cards reach the signed-in user, the current device and the toast parent
    // through the host; their request errors come back through it.
    deviceHost = new WindowDeviceHost(this);
    connect(deviceHost, &DeviceHost::networkError, this, &MainWidget::networkError);
    ui->userDeviceListWidget->setHost(deviceHost);
    ui->localDeviceListWidget->setHost(deviceHost);
    ui->localDeviceListWidget->Discover();

    // The file lists reach the current device through the same host.
    FileActions::Widgets widgets;
    widgets.pages = ui->fileStackedWidget;
    widgets.explorer = ui->fileListWidget;
    widgets.pictures = ui->picListWidget;
    widgets.videos = ui->videoListWidget;
    widgets.documents = ui->docListWidget;
    widgets.navLabel = ui->navLabel;
    widgets.allCheckBox = ui->allCheckBox;
    widgets.selectCountLabel = ui->selectCountLabel;
    widgets.deleteButton = ui->deleteButton;
    widgets.downloadButton = ui->downloadButton;
    widgets.createDirButton = ui->createDirButton;
    fileActions = new FileActions(widgets, deviceHost, this);

    FilePageKeys::Widgets keys;
    keys.page = ui->cloud;
    keys.pages = ui->fileStackedWidget;
    keys.explorer = ui->fileListWidget;
    keys.recent = ui->recentTableWidget;
    keys.deleteButton = ui->deleteButton;
    new FilePageKeys(keys, fileActions, this);
}

void MainWidget::createLoginDialog()
{
    loginDialog = new LoginDialog;
    loginDialog->setWindowIcon(windowIcon());
    loginDialog->setUserMgr(userMgr);
    loginDialog->setSignedInCheck([this] { return identity != nullptr; });
    connect(userMgr, &UserMgr::LoginFinish, loginDialog, &LoginDialog::OnLoginFinish);
    if (!userMgr->IsLogin()) {
        loginDialog->ShowLastLogin();
        loginDialog->show();
    }
    loginDialog->AutoLogin();
}

void MainWidget::prepareSyncConfig()
{
    syncProcess = new SyncProcess(applicationDirectory(),
                                  QDir::homePath() + QStringLiteral("/kelvora"), this);
    syncProcess->setSavePath(saveSection->savePath());
    webPanes = new WebPanes(ui->yunpanWeb, ui->SyncWeb, syncProcess, applicationDirectory(), this);
}

void MainWidget::rewriteSyncConfig(const QString &savePath)
{
    syncProcess->setSavePath(savePath);
}

void MainWidget::createTransferActions()
{
    TransferActions::Widgets widgets;
    widgets.uploads = ui->uploadListWidget;
    widgets.downloads = ui->downloadListWidget;
    widgets.upSpeed = ui->label_TotalUpSpeed;
    widgets.upProgress = ui->label_TotalUpProgress;
    widgets.pauseAllUploads = ui->btn_PauseAllUpload;
    widgets.cancelAllUploads = ui->btn_cancelAllUpload;
    widgets.downSpeed = ui->label_totalDownSpeed;
    widgets.downProgress = ui->label_totalDownProgress;
    widgets.pauseAllDownloads = ui->btn_pauseAllDownload;
    widgets.cancelAllDownloads = ui->btn_cancelAllDownload;
    widgets.recent = ui->recentTableWidget;
    widgets.uploadButton = ui->uploadButton;
    widgets.taskButton = ui->taskButton;
    widgets.dropArea = ui->cloud;
    transferActions = new TransferActions(
        widgets, taskManager, settingsStore, [this] { return currentDevice(); }, this);
    ui->recentTableWidget->setToastParent(this);
}

void MainWidget::showDesktopNotification(const QString &title, const QString &text)
{
    if (trayIcon->isVisible() && QSystemTrayIcon::supportsMessages())
        trayIcon->showMessage(title, text, windowIcon(), 3000);
}

void MainWidget::connectLaterParts()
{
    connect(userMgr, &UserMgr::LoginFinish, this, &MainWidget::OnLoginFinish);
    connect(userMgr, &UserMgr::LoginOverTime, this, &MainWidget::OnLoginOverTime);
    connect(userMgr, &UserMgr::KickOut, this, &MainWidget::OnKickOut);
    connect(ui->refreshDeviceButton, &QPushButton::clicked, this, [this] {
        ui->localDeviceListWidget->Discover();
        ui->userDeviceListWidget->LoadDevices();
    });
    connect(ui->userDeviceListWidget, &UserDeviceListWidget::finished, this,
            &MainWidget::restoreCurrentDevice);
    connect(taskManager, &TaskManager::addOneTask, this, &MainWidget::OnAddOneTask);
    connect(taskManager, &TaskManager::UpdateProgress, this, &MainWidget::OnUpdateTaskInfo);
    connect(taskManager, &TaskManager::StateChanged, this, &MainWidget::OnTaskChanged);
    connect(taskManager, &TaskManager::StateChanged, transferActions,
            &TransferActions::OnTaskFinished);
    connect(taskManager, &TaskManager::taskReset, transferActions, &TransferActions::OnTaskReset);
    connect(transferActions, &TransferActions::uploadListRequested, this,
            [this] { taskLeftButtonClicked(TaskPage::Upload); });
    connect(transferActions, &TransferActions::notifyDesktop, this,
            &MainWidget::showDesktopNotification);
    connect(transferActions, &TransferActions::uploadedInto, this, [this](const QString &folder) {
        // The folder shown gets the new file, unless the user is choosing in it.
        Explorer *explorer = ui->fileListWidget;
        if (explorer->total != -1 && explorer->selectedItems().isEmpty() &&
            !explorer->isPageLoading() && FilePaths::decode(explorer->currentPath) == folder)
            queryExplorer(explorer->currentPath);
    });
    for (FileListWidget *list : std::initializer_list<FileListWidget *>{
             ui->fileListWidget, ui->picListWidget, ui->videoListWidget, ui->docListWidget}) {
        connect(list, &FileListWidget::downloadItem, this, &MainWidget::downloadButtonClicked);
        connect(list, &FileListWidget::removeItem, this, &MainWidget::removeButtonClicked);
    }
    connect(ui->createDirButton, &QPushButton::clicked, fileActions, &FileActions::createFolder);
    connect(fileActions, &FileActions::recentReloadRequested, this, &MainWidget::reloadRecentFiles);
}

bool MainWidget::isSignedIn() const
{
    return userMgr->IsLogin();
}

QWidget *MainWidget::loginDialogWidget() const
{
    return loginDialog;
}

void MainWidget::readIdentity()
{
    quint64 userId = 0;
    std::string sessionId, userName, nickName, jumpKey, imageUrl;
    userMgr->GetUserId(&userId);
    userMgr->GetSessionId(&sessionId);
    userMgr->GetUserName(&userName);
    userMgr->GetNickName(&nickName);
    userMgr->GetJumpKey(&jumpKey);
    userMgr->GetImageUrl(&imageUrl);
    if (!identity)
        identity = new UserIdentity;
    identity->userId = userId;
    identity->sessionId = QString::fromStdString(sessionId);
    identity->userName = QString::fromStdString(userName);
    ui->userButton->setText(QString::fromStdString(nickName));
}

void MainWidget::signOut()
{
    if (identity) {
        userMgr->Logout();
        delete identity;
        identity = nullptr;
    }
}

void MainWidget::loadBoundDevices()
{
    ui->userDeviceListWidget->LoadDevices();
}

void MainWidget::startCloudDiskPane()
{
    webPanes->openCloudPane();
}

void MainWidget::startSyncPane()
{
    webPanes->openSyncPane();
}

void MainWidget::reloadRecentFiles()
{
    ui->recentTableWidget->initItem();
}

int MainWidget::listTotal(QListWidget *list) const
{
    return fileActions->listTotal(list);
}

void MainWidget::queryExplorer(const QString &path)
{
    fileActions->queryExplorer(path);
}

QString MainWidget::explorerBreadcrumb() const
{
    return fileActions->explorerBreadcrumb();
}

QString MainWidget::videoBreadcrumb() const
{
    return ui->videoListWidget->breadcrumbText;
}

void MainWidget::reloadList(QListWidget *list)
{
    fileActions->reloadList(list);
}
