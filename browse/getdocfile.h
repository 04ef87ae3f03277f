#ifndef KELVORA_GETDOCFILE_H
#define KELVORA_GETDOCFILE_H

#include "browse/filelistwidget.h"

// The documents of all the device's disks, newest first, as rows with name, time, size and
// type.
class GetDocFile : public FileListWidget
{
    Q_OBJECT

public:
    static const int typeCode = 160560;

    explicit GetDocFile(QWidget *parent = nullptr);

protected:
    void loadPage(int start, int count) override;
    QWidget *createEntryWidget(QListWidgetItem *item) override;
    QSize entrySize() const override { return QSize(200, 48); }

private:
    void loadDocFinished(QNetworkReply *reply, int count);
};

#endif
