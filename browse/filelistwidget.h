#ifndef KELVORA_FILELISTWIDGET_H
#define KELVORA_FILELISTWIDGET_H

#include "browse/fileentry.h"
#include "device/devicehost.h"
#include "device/replyholder.h"

#include <QNetworkReply>

#include <QListWidget>
#include <QPointer>
#include <QSet>
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
// Entries are plain items; their tiles or rows (item widgets) exist only for the entries in and
// near the view, made as they scroll in and dropped as they scroll far out, so a listing of
// 10,000 entries costs no more to page, scroll or lay out than one screenful, and thumbnails
// are fetched for what is seen.
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

    // An entry at the end of the list (item type 1000, its data under the file roles); its
    // widget follows when it comes into view.
    QListWidgetItem *addEntry(const FileEntry &entry);
    // A page of entries at the end, laid out once for all of them.
    void addEntries(const FileEntries &entries);
    static FileEntry entryOf(const QListWidgetItem *item);
    // The entry's widget, made now if it has none (for a row about to be shown or read).
    QWidget *entryWidget(QListWidgetItem *item);
    // The picture an entry shows: its tile's or row's icon, else the icon its widget would
    // start with. Never null for an entry of this list.
    QPixmap iconOf(QListWidgetItem *item);
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
    // Takes an entry out of the list and deletes it with its widget.
    void removeEntryAt(int row);
    // A new tile or row for an entry, set up from it; the list owns and places it.
    virtual QWidget *createEntryWidget(QListWidgetItem *item) = 0;
    // The size of every entry's cell.
    virtual QSize entrySize() const { return QSize(128, 114); }
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
    void updateGeometries() override;
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    void startLoadingAnimation();
    void scheduleWidgetUpdate();
    // Makes the widgets of the entries within a screen of the view, drops those further out.
    void updateEntryWidgets();
    void dropEntryWidget(QListWidgetItem *item);
    // The first row whose cell reaches below y (rows run in the order they are laid out).
    int firstRowBelow(int y);

    // Entries that have a widget now.
    QSet<QListWidgetItem *> withWidget;
    bool widgetUpdatePending = false;
    // Rows go in one by one; the view hears of them once, when the page is in.
    bool addingEntries = false;
    ReplyHolder pendingReply;
    QString pendingDevice;
    QPointer<DeviceHost> deviceHost;
};

#endif
