#ifndef KELVORA_FILEACTIONS_H
#define KELVORA_FILEACTIONS_H

#include <QObject>

class DeviceHost;
class Explorer;
class FileListWidget;
class GetDocFile;
class GetPicFile;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStackedWidget;

// The cloud page's file actions that need no transfer: the selection count and the toolbar
// states that follow the selection, select-all, refresh, delete, new folder, the breadcrumb's
// links, and what a device change or a sign-out does to the lists. The main window's slots of
// the same names forward here.
class FileActions : public QObject
{
    Q_OBJECT

public:
    // The widgets of the cloud page these actions work on; all owned by the window.
    class Widgets
    {
    public:
        QStackedWidget *pages = nullptr;
        Explorer *explorer = nullptr;
        GetPicFile *pictures = nullptr;
        QListWidget *videos = nullptr;
        GetDocFile *documents = nullptr;
        QLabel *navLabel = nullptr;
        QCheckBox *allCheckBox = nullptr;
        QLabel *selectCountLabel = nullptr;
        QPushButton *deleteButton = nullptr;
        QPushButton *downloadButton = nullptr;
        QPushButton *createDirButton = nullptr;
    };

    // Hands the host and the breadcrumb label to the lists; window is where dialogs and
    // toasts appear.
    FileActions(const Widgets &widgets, DeviceHost *host, QWidget *window);

    // The list of the page shown; null on the recent-files page.
    QListWidget *currentFileList() const;
    // A list's total, -1 for a list that has not loaded since the last device change.
    int listTotal(QListWidget *list) const;
    QString explorerBreadcrumb() const;
    // Lists again: the explorer the folder it shows, the others from their first page.
    void reloadList(QListWidget *list);
    void queryExplorer(const QString &path);

    void itemSelectChanged();
    void checkAllItem(int state);
    // The count back to 0 and the page shown listed again; the recent-files page asks for
    // recentReloadRequested().
    void refresh();
    // Asks "确认删除选中的内容吗？", then deletes the selection of the page shown.
    void removeSelected();
    void createFolder();
    void openLink(const QString &link);
    // A new current device: its partition names are asked for, and every list forgets the old
    // device's entries (a page still loading is dropped) so it loads again when next shown.
    void deviceChanged();
    // No current device any more (signed out, or the device went with the account): nothing
    // of the old device stays in the lists.
    void clearLists();

signals:
    void recentReloadRequested();
    // A "video:<n>" link: the video library opens series n (-1: all videos).
    void videoSeriesRequested(int series);

private:
    FileListWidget *fileList(QListWidget *list) const;

    Widgets ui;
    QWidget *window;
};

#endif
