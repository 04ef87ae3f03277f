#ifndef KELVORA_DEVICEPATHDIALOG_H
#define KELVORA_DEVICEPATHDIALOG_H

#include "device/replyholder.h"

#include <QNetworkReply>

#include <QDialog>
#include <QPointer>

class DeviceItem;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMovie;

namespace Ui {
class DevicePathDialog;
}

// The modal picker of a folder on the device, for uploads. It lists one folder at a time,
// walks into folders on double-click, offers "返回上级" below the top level, and after
// "确定" (never enabled at the top level) holds the folder listed in listedPath, as the
// device spells it.
//
//     DevicePathDialog dialog(window, device);
//     if (dialog.exec() == QDialog::Accepted)
//         upload to dialog.listedPath;
class DevicePathDialog : public QDialog
{
    Q_OBJECT

public:
    // Starts listing the device's top level at once; without a device nothing is listed.
    DevicePathDialog(QWidget *parent, DeviceItem *device);
    ~DevicePathDialog() override;

    QString listedPath;
    QString rootPath;
    QLabel *loadingLabel = nullptr;
    QMovie *loadingMovie = nullptr;
    QPoint dragOrigin;

    QListWidget *listWidget() const;
    bool isLoading() const { return pendingReply.isPending(); }

public slots:
    void dirDoubleClicked(QListWidgetItem *item);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // Lists a folder given as the device spells it.
    void query(const QString &path, int count);
    void loadDirFinished(QNetworkReply *reply, int count);
    void clearList();
    QListWidgetItem *addEntry(const QString &path, int kind, quint64 size, const QDateTime &time);
    // The entry's tile, named name when given.
    void addTile(QListWidgetItem *item, const QString &name);

    Ui::DevicePathDialog *ui;
    ReplyHolder pendingReply;
    QPointer<DeviceItem> device;
};

#endif
