#ifndef KELVORA_FILELISTWIDGET_H
#define KELVORA_FILELISTWIDGET_H

#include "browse/fileentry.h"
#include "device/devicehost.h"
#include "device/replyholder.h"

#include <QNetworkReply>

#include <QListWidget>
#include <QPointer>
#include <functional>

class DeviceItem;
class ImageViewer;
class QAction;
class QLabel;
class QMenu;
class QMovie;

// A list of the current device's files, loaded page by page (100 entries, then 50 more at each
// scroll to the bottom), with a loading animation, empty and error backgrounds, a context menu
// (download, delete) and deletion of the selected entries on the device. Subclasses send their
// own page request in loadPage() through requestPage() and turn the reply into entries.
//
// One page request is pending at a time. It is kept in a ReplyHolder, not under a lock: all of
// this runs on the GUI thread, and a non-recursive lock around the reply would deadlock when a
// handler reloads the list. The holder is emptied before the handler runs, clearEntries()
// aborts a pending page without calling its handler, and a page answered for a device that is
// no longer current is dropped, so no answer ever lands in a list that has moved on.
class FileListWidget : public QListWidget
{
    Q_OBJECT

public:
    explicit FileListWidget(QWidget *parent = nullptr);
    ~FileListWidget() override;

    // Entries of the whole listing as the device reports them; -1 until a page arrives.
    int total = -1;
    // The style sheet while the list has entries; each subclass sets its own.
    QString normalStyleSheet;
    QLabel *loadingLabel = nullptr;
    QMovie *loadingMovie = nullptr;
    QMenu *contextMenu = nullptr;
    QAction *downloadAction = nullptr;
    QAction *deleteAction = nullptr;
    QAction *openAction = nullptr;

    // Where the list finds the current device (the window that holds it hands in its host).
    void setHost(DeviceHost *host) { deviceHost = host; }
    DeviceHost *host() const { return deviceHost; }
    DeviceItem *currentDevice() const;

    // Aborts the page in flight and removes every entry; total keeps its value.
    void clearEntries();
    void showLoading();
    // The current device changed or the user signed out: nothing of the old listing stays,
    // and total is -1 so the list loads again when it is next shown.
    virtual void resetForDevice();
    bool isPageLoading() const { return pendingReply.isPending(); }

    // An entry at the end of the list (item type 1000, its data under the file roles).
    QListWidgetItem *addEntry(const FileEntry &entry);
    static FileEntry entryOf(const QListWidgetItem *item);
    // Tiles of this list show a poster placeholder instead of the file-type icon.
    virtual bool showsPosters() const { return false; }

public slots:
    virtual void reload();
    virtual void removeSelected();

signals:
    void loadFinished(bool ok);
    void downloadItem();
    void removeItem();

public slots:
    void scrollChanged(int value);
    void loaded(bool noError);
    void selectChanged();

protected:
    // Sends the request for count entries from entry number start (counted from 0).
    virtual void loadPage(int start, int count) = 0;
    // Keeps reply as the one pending page; handler runs once when it finishes, for the device it
    // was sent to only, and after it the reply is released. A page still pending is aborted.
    void requestPage(QNetworkReply *reply, const DeviceItem *device,
                     std::function<void(QNetworkReply *reply)> handler);
    // The tile or row widget of an entry's item, once it has one.
    void setEntryWidget(QListWidgetItem *item, QWidget *widget);
    // A picture viewer for this list: its previous / next reach step (-1 / +1), its download
    // and delete buttons this list's downloadItem() / removeItem().
    ImageViewer *createViewer(std::function<void(int step)> step);
    // Shows the row's picture in the viewer, with the tile's icon as the preview.
    void showInViewer(ImageViewer *viewer, int row);
    // Makes row the current and only selected row and shows it (the viewer's download and
    // delete act on the selection).
    void stepTo(ImageViewer *viewer, int row);

    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void startLoadingAnimation();

    ReplyHolder pendingReply;
    QString pendingDevice;
    QPointer<DeviceHost> deviceHost;
};

#endif
