#ifndef KELVORA_FILEPAGEKEYS_H
#define KELVORA_FILEPAGEKEYS_H

#include <QObject>

class Explorer;
class FileActions;
class QPushButton;
class QStackedWidget;
class QWidget;
class RecentFile;

// Keys of the cloud page while it is shown: F5 refreshes, Delete deletes the selection (asking
// first), Ctrl+A selects everything, Backspace goes up one folder in the explorer, Enter opens
// the current entry (a folder, a picture, a video, a recent file).
class FilePageKeys : public QObject
{
    Q_OBJECT

public:
    class Widgets
    {
    public:
        QWidget *page = nullptr; // the cloud page
        QStackedWidget *pages = nullptr;
        Explorer *explorer = nullptr;
        RecentFile *recent = nullptr;
        QPushButton *deleteButton = nullptr;
    };

    FilePageKeys(const Widgets &widgets, FileActions *actions, QObject *parent);

    void refresh();
    void remove();
    void selectAll();
    void goUp();
    void open();

private:
    bool active() const;

    Widgets ui;
    FileActions *actions;
};

#endif
