#ifndef KELVORA_TRANSFERACTIONS_H
#define KELVORA_TRANSFERACTIONS_H

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>

#include <functional>

class DeviceItem;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSettings;
class QTimer;
class RecentFile;
class Task;
class TaskListWidget;
class TaskManager;

// The questions the transfer actions ask the user; the window's are the system dialogs and the
// confirmation dialog, a test answers them itself.
class TransferDialogs
{
public:
    virtual ~TransferDialogs() = default;
    // Local files to upload; empty when cancelled.
    virtual QStringList uploadFiles(QWidget *window);
    // The device folder an upload goes to; false when cancelled.
    virtual bool uploadDestination(QWidget *window, DeviceItem *device, QString *folder);
    // The folder downloads go to; empty when cancelled.
    virtual QString saveFolder(QWidget *window, const QString &start);
    virtual bool confirm(QWidget *window, const QString &text);
};

// The main window's transfer actions and the bookkeeping of its transfer pages: upload (also of
// files dropped onto the cloud page) and download with their animations, the rows of both
// transfer lists and their totals, pause-all and cancel-all, the finished-transfer toast (and
// the desktop notification while the window is hidden), and clearing the recent files.
class TransferActions : public QObject
{
    Q_OBJECT

public:
    // The widgets of the window these actions work on; all owned by the window.
    class Widgets
    {
    public:
        TaskListWidget *uploads = nullptr;
        TaskListWidget *downloads = nullptr;
        QLabel *upSpeed = nullptr;
        QLabel *upProgress = nullptr;
        QPushButton *pauseAllUploads = nullptr;
        QPushButton *cancelAllUploads = nullptr;
        QLabel *downSpeed = nullptr;
        QLabel *downProgress = nullptr;
        QPushButton *pauseAllDownloads = nullptr;
        QPushButton *cancelAllDownloads = nullptr;
        RecentFile *recent = nullptr;
        // Where the flying marks start and land.
        QWidget *uploadButton = nullptr;
        QWidget *taskButton = nullptr;
        // Files dropped here are uploaded.
        QWidget *dropArea = nullptr;
    };
    using DeviceSource = std::function<DeviceItem *()>;

    // settings keeps "settings/lastsavepath". window parents the dialogs, toasts and animations.
    TransferActions(const Widgets &widgets, TaskManager *manager, QSettings *settings,
                    DeviceSource currentDevice, QWidget *window);
    ~TransferActions() override;

    void setDialogs(TransferDialogs *dialogs);
    QString lastSavePath() const { return saveFolder; }

    // Asks for files, then uploads them.
    void upload();
    // Asks for the device folder, then uploads files there. Files only: folders are skipped.
    void uploadFiles(const QStringList &files);
    // Asks for the save folder, then downloads the files selected in list.
    void download(QListWidget *list);
    // Downloads the files selected in list into folder (no question); the number of tasks
    // added. Nothing is added when the folder's disk has no room for them.
    int downloadInto(const QString &folder, QListWidget *list);

    // Task manager signals.
    void OnAddOneTask(Task *task);
    void OnTaskChanged(Task *task);
    void OnUpdateTaskInfo(Task *task);
    void OnTaskReset();
    void OnTaskFinished(Task *task);

    void pauseAll(int kind);
    void cancelAll(int kind);
    void clearRecent();

    // The local files a drop of urls uploads: files as they are, a folder's files (not its
    // subfolders'), in name order; nothing that is not local.
    static QStringList droppedFiles(const QList<QUrl> &urls);

signals:
    // Uploads were queued: the transfer page shows the upload list.
    void uploadListRequested();
    // A transfer finished while the window is hidden or minimised.
    void notifyDesktop(const QString &title, const QString &text);
    // An upload finished: folder (as the device spells it) holds a new file.
    void uploadedInto(const QString &folder);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TaskListWidget *listOf(int kind) const;
    void updateTotals(int kind);
    void flyUploadDot();
    void flyIcon(const QPixmap &pixmap, const QRect &from);
    QRect taskButtonRect() const;
    void scheduleRecentReload();

    Widgets ui;
    TaskManager *manager;
    QSettings *settings;
    DeviceSource currentDevice;
    QWidget *window;
    TransferDialogs defaultDialogs;
    TransferDialogs *dialogs = &defaultDialogs;
    QString saveFolder;
    QTimer *recentReload = nullptr;
};

#endif
