#ifndef KELVORA_GETPICFILE_H
#define KELVORA_GETPICFILE_H

#include "browse/filelistwidget.h"

class ImageViewer;

// The pictures of all the device's disks, newest first, as thumbnail tiles; a double-click
// opens one in the viewer, which steps through the list's neighbours.
class GetPicFile : public FileListWidget
{
    Q_OBJECT

public:
    static const int typeCode = 29489;

    explicit GetPicFile(QWidget *parent = nullptr);

    ImageViewer *viewer = nullptr;

public slots:
    void picDoubleClicked(QListWidgetItem *item);

protected:
    void loadPage(int start, int count) override;
    QWidget *createEntryWidget(QListWidgetItem *item) override;

private:
    void loadImageFinished(QNetworkReply *reply, int count);
    void step(int direction);
};

#endif
