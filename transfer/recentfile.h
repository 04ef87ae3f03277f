#ifndef KELVORA_RECENTFILE_H
#define KELVORA_RECENTFILE_H

#include <QTableWidget>

class QMenu;

// The recent-files table of the cloud page: the newest finished transfers of both directions,
// under day headers. A double click opens a file with the desktop's program; the context menu
// also shows it in its folder.
class RecentFile : public QTableWidget
{
    Q_OBJECT

public:
    // Item type and data roles of a file row's first cell.
    static const int FileItemType = 1000;
    enum Role
    {
        LocalPathRole = 256,
        KindRole = 257,
        IdRole = 258
    };

    explicit RecentFile(QWidget *parent = nullptr);

    // Where its toasts appear (the main window); the table itself when none is set.
    void setToastParent(QWidget *widget) { toastParent = widget; }
    // The local path of a row, empty for a header row.
    QString localPathAt(int row) const;
    // Shows the path in its folder; false (with the toast) when that failed.
    bool showInFolder(int row);

public slots:
    void initItem();
    void clearItem();
    void fileDoubleClicked(int row, int column);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void setColumnWidths();
    void showError(const QString &text);
    // The file at row exists; else the toast.
    bool checkExists(const QString &path);

    QWidget *toastParent = nullptr;
    QMenu *contextMenu = nullptr;
    QAction *openAction = nullptr;
    QAction *folderAction = nullptr;
};

#endif
