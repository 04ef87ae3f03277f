#include "transfer/recentfile.h"

#include "app/messagebox.h"
#include "browse/filetexts.h"
#include "platform/fileopener.h"
#include "store/database.h"
#include "transfer/recentlisting.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QPointer>

namespace {

const QString emptyStyle = QStringLiteral("background-image:url(:/image/empty.png);background-"
                                          "repeat:none;background-position:center;");

QTableWidgetItem *greyItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setForeground(QColor(QStringLiteral("#a0a0a0")));
    return item;
}

} // namespace

RecentFile::RecentFile(QWidget *parent) : QTableWidget(parent)
{
    connect(this, &QTableWidget::cellDoubleClicked, this, &RecentFile::fileDoubleClicked);
    contextMenu = new QMenu(this);
    openAction = contextMenu->addAction(tr("打开"));
    folderAction = contextMenu->addAction(tr("打开所在文件夹"));
}

void RecentFile::setColumnWidths()
{
    setColumnWidth(0, width() - 200);
    setColumnWidth(1, 80);
    setColumnWidth(2, 60);
}

void RecentFile::resizeEvent(QResizeEvent *event)
{
    setColumnWidth(0, width() - 200);
    QTableWidget::resizeEvent(event);
}

void RecentFile::initItem()
{
    clear();
    setRowCount(0);
    setColumnCount(3);
    setColumnWidths();
    // A query that fails lists nothing, like an empty history.
    const QVector<RecentListing::Row> rows =
        RecentListing::rows(GetRecentFiles(), QDate::currentDate());
    if (rows.isEmpty()) {
        setStyleSheet(emptyStyle);
        return;
    }
    setRowCount(rows.size());
    for (int r = 0; r < rows.size(); ++r) {
        const RecentListing::Row &row = rows.at(r);
        if (row.isHeader) {
            for (int column = 0; column < 3; ++column) {
                auto *item = new QTableWidgetItem(column == 0 ? row.text : QString());
                item->setFlags(Qt::NoItemFlags);
                setItem(r, column, item);
            }
            continue;
        }
        auto *name = new QTableWidgetItem(row.text, FileItemType);
        name->setToolTip(row.text);
        name->setForeground(QColor(QStringLiteral("#333333")));
        name->setIcon(QIcon(fileIconPath(row.text, true)));
        name->setData(LocalPathRole, row.localPath);
        name->setData(KindRole, row.kind);
        name->setData(IdRole, row.id);
        setItem(r, 0, name);
        setItem(r, 1, greyItem(row.sizeText));
        setItem(r, 2, greyItem(row.timeText));
    }
    setStyleSheet(QString());
}

void RecentFile::clearItem()
{
    ClearRecentFiles();
    clear();
    setRowCount(0);
}

QString RecentFile::localPathAt(int row) const
{
    const QTableWidgetItem *cell = item(row, 0);
    return cell && cell->type() == FileItemType ? cell->data(LocalPathRole).toString() : QString();
}

void RecentFile::showError(const QString &text)
{
    MessageBox::showMessage(Error, text, toastParent ? toastParent : this, false, 2000);
}

bool RecentFile::checkExists(const QString &path)
{
    if (!path.isEmpty() && QFileInfo::exists(path))
        return true;
    showError(tr("本地文件不存在"));
    return false;
}

void RecentFile::fileDoubleClicked(int row, int)
{
    const QString path = localPathAt(row);
    if (!checkExists(path))
        return;
    QPointer<RecentFile> self(this);
    const auto failed = [self] {
        if (self)
            self->showError(tr("打开文件失败"));
    };
    if (!FileOpener::open(path, this, failed))
        failed();
}

bool RecentFile::showInFolder(int row)
{
    const QString path = localPathAt(row);
    if (!checkExists(path))
        return false;
    QPointer<RecentFile> self(this);
    const auto failed = [self] {
        if (self)
            self->showError(tr("打开文件夹失败"));
    };
    if (FileOpener::showInFolder(path, this, failed))
        return true;
    failed();
    return false;
}

void RecentFile::contextMenuEvent(QContextMenuEvent *event)
{
    const int row = rowAt(event->pos().y());
    if (localPathAt(row).isEmpty())
        return;
    selectRow(row);
    QAction *chosen = contextMenu->exec(event->globalPos());
    if (chosen == openAction)
        fileDoubleClicked(row, 0);
    else if (chosen == folderAction)
        showInFolder(row);
}
