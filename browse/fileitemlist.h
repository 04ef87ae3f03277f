#ifndef KELVORA_FILEITEMLIST_H
#define KELVORA_FILEITEMLIST_H

#include <QWidget>

class QLabel;
class QListWidgetItem;

namespace Ui {
class FileItemList;
}

// A 48-pixel row of a list-mode file list: icon, name, time, size and type.
class FileItemList : public QWidget
{
    Q_OBJECT

public:
    explicit FileItemList(QWidget *parentList = nullptr);
    ~FileItemList() override;

    // The entry shown; null once the entry is gone.
    QListWidgetItem *listItem = nullptr;

    void setupFromItem();
    QLabel *iconLabel() const;

private:
    Ui::FileItemList *ui;
};

#endif
