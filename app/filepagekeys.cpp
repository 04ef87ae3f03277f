#include "app/filepagekeys.h"

#include "app/fileactions.h"
#include "app/pages.h"
#include "browse/explorer.h"
#include "browse/filepaths.h"
#include "transfer/recentfile.h"

#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>

FilePageKeys::FilePageKeys(const Widgets &widgets, FileActions *actions, QObject *parent)
    : QObject(parent), ui(widgets), actions(actions)
{
    const auto bind = [this](const QKeySequence &keys, void (FilePageKeys::*action)()) {
        // The window's keys, taken only while the cloud page is shown; an editor with focus
        // (a new folder's name) keeps its own editing keys.
        auto *shortcut =
            new QShortcut(keys, ui.page->window(), nullptr, nullptr, Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, action] {
            if (active())
                (this->*action)();
        });
    };
    bind(QKeySequence(Qt::Key_F5), &FilePageKeys::refresh);
    bind(QKeySequence(Qt::Key_Delete), &FilePageKeys::remove);
    bind(QKeySequence::SelectAll, &FilePageKeys::selectAll);
    bind(QKeySequence(Qt::Key_Backspace), &FilePageKeys::goUp);
    bind(QKeySequence(Qt::Key_Return), &FilePageKeys::open);
    bind(QKeySequence(Qt::Key_Enter), &FilePageKeys::open);
}

bool FilePageKeys::active() const
{
    return ui.page->isVisible();
}

void FilePageKeys::refresh()
{
    actions->refresh();
}

void FilePageKeys::remove()
{
    // Only what the toolbar's button would delete.
    if (ui.deleteButton->isVisible() && ui.deleteButton->isEnabled())
        actions->removeSelected();
}

void FilePageKeys::selectAll()
{
    if (ui.pages->currentIndex() != CloudPage::Recent && actions->currentFileList())
        actions->checkAllItem(Qt::Checked);
}

void FilePageKeys::goUp()
{
    Explorer *explorer = ui.explorer;
    if (ui.pages->currentIndex() != CloudPage::Explorer || explorer->rootPath.isEmpty() ||
        explorer->currentPath == explorer->rootPath)
        return;
    explorer->queryDir(FilePaths::parentOf(explorer->currentPath));
}

void FilePageKeys::open()
{
    if (ui.pages->currentIndex() == CloudPage::Recent) {
        if (ui.recent->currentRow() >= 0)
            ui.recent->fileDoubleClicked(ui.recent->currentRow(), 0);
        return;
    }
    QListWidget *list = actions->currentFileList();
    if (!list)
        return;
    QListWidgetItem *item = list->currentItem();
    if (!item || !item->isSelected()) {
        const QList<QListWidgetItem *> selected = list->selectedItems();
        item = selected.isEmpty() ? nullptr : selected.first();
    }
    // What a double click on the entry does.
    if (item)
        emit list->itemDoubleClicked(item);
}
