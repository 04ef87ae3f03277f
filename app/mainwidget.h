#ifndef KELVORA_MAINWIDGET_H
#define KELVORA_MAINWIDGET_H

#include <QNetworkReply>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

class DeviceItem;
class FileActions;
class FramelessDrag;
class LoginDialog;
class QButtonGroup;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QLocalServer;
class QMenu;
class QSettings;
class ResizeLabel;
class SavePathSection;
class SyncProcess;
class TransferActions;
class Task;
class TaskManager;
class UserMgr;
class WebPanes;
class WindowDeviceHost;
struct UserIdentity;

namespace Ui {
class MainWidget;
}

// The program's one frameless main window: top bar navigation, the four pages, window chrome,
// tray icon and menus, and the current device.
class MainWidget : public QWidget
{
    Q_OBJECT

public:
    explicit MainWidget(QWidget *parent = nullptr);
    ~MainWidget() override;

    // The one main window (null before it is built and after it is gone).
    static MainWidget *instance();

    // The current device's card, or null.
    DeviceItem *currentDevice();
    QString currentDeviceId() const { return currentDevId; }
    // The file list on the cloud page's current page; null on the recent-files page.
    QListWidget *currentFileList() const;
    void switchAccount();
    // The sign-in state; never null while the window exists.
    UserMgr *userManager() const { return userMgr; }
    // The signed-in identity (user id, session id, user name), or null when signed out.
    const UserIdentity *userIdentity() const { return identity; }
    void selectDevice(QListWidgetItem *item);

signals:
    void currentDeviceChanged();

public slots:
    void OnLoginFinish(int errCode);
    void OnLoginOverTime();
    void OnKickOut();
    void OnAddOneTask(Task *task);
    void OnUpdateTaskInfo(Task *task);
    void networkError(QNetworkReply::NetworkError code);
    void downloadButtonClicked();
    void removeButtonClicked();
    void OnTaskChanged(Task *task);
    void topButtonClicked(int index);
    void cloudLeftButtonClicked(int index);
    void taskLeftButtonClicked(int index);
    void settingLeftButtonClicked(int index);
    void SettingSavePathSelected(const QString &path);
    void uploadButtonClicked();
    void refreshButtonClicked();
    void resizeWindow(int dx, int dy);
    void itemSelectChanged();
    void checkAllItem(int state);
    void deviceItemDClicked(QListWidgetItem *item);
    void showLoginDialog();
    void showAndActivateWindow();
    void showNormalOrMax();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void setupConnections();
    void startLocalServer();
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    void OnQuitRequested();
    void OnCloseClicked();
    void OnNavLinkActivated(const QString &link);
    void restoreCurrentDevice();
    // No current device: nothing selected, "未知" at the bottom left.
    void clearCurrentDevice();
    // After a sign-in: a current device chosen under another account stays only when this
    // account may use it, i.e. when it answers on the LAN (the bound list decides when it has
    // loaded).
    void forgetDeviceOfOtherAccount();
    void createTransferActions();
    // A desktop notification through the tray icon, where there is one.
    void showDesktopNotification(const QString &title, const QString &text);

    // Hooks for the parts that are built elsewhere; each is filled where its class lands.
    void openDatabase();
    void createManagers(const QString &version);
    void startDiscovery();
    void createLoginDialog();
    void prepareSyncConfig();
    void rewriteSyncConfig(const QString &savePath);
    void connectLaterParts();
    bool isSignedIn() const;
    QWidget *loginDialogWidget() const;
    void readIdentity();
    void signOut();
    void loadBoundDevices();
    void startCloudDiskPane();
    void startSyncPane();
    void reloadRecentFiles();
    int listTotal(QListWidget *list) const;
    void queryExplorer(const QString &path);
    QString explorerBreadcrumb() const;
    QString videoBreadcrumb() const;
    void reloadList(QListWidget *list);

    Ui::MainWidget *ui;
    // Drags the window by its top bar.
    FramelessDrag *drag = nullptr;
    WindowDeviceHost *deviceHost = nullptr;
    FileActions *fileActions = nullptr;
    TransferActions *transferActions = nullptr;
    QButtonGroup *topGroup = nullptr;
    QButtonGroup *cloudLeftGroup = nullptr;
    QButtonGroup *taskLeftGroup = nullptr;
    QButtonGroup *settingLeftGroup = nullptr;
    QLabel *deviceCaptionLabel = nullptr;
    QLabel *deviceNameLabel = nullptr;
    QSystemTrayIcon *trayIcon = nullptr;
    ResizeLabel *resizeGrip = nullptr;
    TaskManager *taskManager = nullptr;
    LoginDialog *loginDialog = nullptr;
    UserMgr *userMgr = nullptr;
    UserIdentity *identity = nullptr;
    SavePathSection *saveSection = nullptr;
    QString currentDevId;
    // The account under which the current device was chosen.
    quint64 currentDevUserId = 0;
    bool signingOut = false;
    QSettings *settingsStore = nullptr;
    // aria2 behind the two web panes, and the panes' opening.
    SyncProcess *syncProcess = nullptr;
    WebPanes *webPanes = nullptr;
    QLocalServer *localServer = nullptr;
    QLabel *versionLabel = nullptr;
    QMenu *trayMenu = nullptr;
    QMenu *userMenu = nullptr;
};

#endif
