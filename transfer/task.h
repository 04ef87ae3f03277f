#ifndef KELVORA_TASK_H
#define KELVORA_TASK_H

#include "transfer/partfile.h"
#include "transfer/speedwindow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>

class DeviceRecord;
class QListWidgetItem;
class QTimer;
class UploadSender;

// One transfer between this computer and a device: a download of a device file into a local
// file (through "<local path>.vbxdl", renamed at the end) or an upload of a local file into a
// device folder. Runs on the GUI thread; the task manager creates, starts and stores it.
//
// What bytesCompleted counts of a download is always in its temporary file: it is the file's
// length, made durable before any status change is announced (and so before it is stored).
class Task : public QObject
{
    Q_OBJECT

public:
    enum TaskKind
    {
        Download = 0,
        Upload = 1
    };
    enum TaskStatus
    {
        Waiting = 0,
        Running = 1,
        Paused = 2,
        Complete = 3,
        Failed = 4,
        Queued = 5
    };
    // The device a transfer goes to when it starts, or null when there is none.
    using DeviceSource = std::function<const DeviceRecord *()>;

    explicit Task(int kind, QObject *parent = nullptr);
    Task(int kind, const QUuid &id, const QString &deviceId, const QString &remotePath,
         const QString &localPath, qint64 bytesCompleted, qint64 bytesTotal, int status,
         const QDateTime &createTime, QObject *parent = nullptr);
    ~Task() override;

    int kind() const { return kind_; }
    QUuid id() const { return id_; }
    // "{...}", as the database keeps it.
    QString idText() const { return id_.toString(); }
    QString deviceId() const { return deviceId_; }
    QString remotePath() const { return remotePath_; }
    QString localPath() const { return localPath_; }
    QString tempPath() const { return localPath_ + QStringLiteral(".vbxdl"); }
    qint64 bytesCompleted() const { return bytesCompleted_; }
    qint64 bytesTotal() const { return bytesTotal_; }
    int status() const { return status_; }
    QDateTime createTime() const { return createTime_; }

    void setDeviceId(const QString &id) { deviceId_ = id; }
    void setRemotePath(const QString &path) { remotePath_ = path; }
    void setLocalPath(const QString &path) { localPath_ = path; }
    void setBytesTotal(qint64 total) { bytesTotal_ = total; }
    void setDeviceSource(DeviceSource source) { deviceSource = std::move(source); }

    // The list row that shows the task; the engine only keeps it for the views.
    QListWidgetItem *listItem() const { return listItem_; }
    void setListItem(QListWidgetItem *item) { listItem_ = item; }

    // Callers read status() afterwards: Running when a request went out. Without a device the
    // status stays as it was (tried again later); a local file that cannot be used ends Failed.
    bool start();
    bool pause();
    bool queue();
    // Stops the transfer and deletes the temporary download file.
    void discard();
    // Bytes per second over the last few seconds while running, else 0.
    int speed() const;
    // Makes what bytesCompleted counts durable before it is stored; false on a write error.
    bool syncProgress();
    // Why the last request failed, for the user ("磁盘空间不足"); empty when it did not.
    QString failureReason() const { return failureReason_; }

signals:
    void UpdateProgress(Task *task);
    void StateChanged(Task *task);
    // The download ended under another name than the one asked for (that one was taken).
    void localPathChanged(Task *task);
    void replyError(QNetworkReply::NetworkError code);

private slots:
    void setProgress(qint64 bytesSent, qint64 bytesTotal);
    void RequestFinished();
    void updateSpeed();
    void OnReadyRead();
    void OnReplyError(QNetworkReply::NetworkError code);
    void OnReplyMetaDataChanged();

private:
    void init();
    void startDownload(const DeviceRecord &device);
    void startUpload(const DeviceRecord &device);
    void began();
    void progressed();
    // Writes what the reply holds to the temporary file; all: also while the disk is behind.
    void readAvailable(bool all);
    // Ends the running request as Failed (or sets Failed when none runs).
    // reason goes to the debug output, shown to the user.
    void fail(const QString &reason, const QString &shown);
    QString localWriteFailure() const;
    void finishDownload(QNetworkReply::NetworkError error);
    void finishUpload(UploadSender *sender);
    void completeDownload();
    void setStatus(int status);
    void closeOutput();
    QNetworkReply *takeReply();
    bool requestRunning() const { return reply || upload; }
    // Ends the running request; its end runs as for any other ending.
    void abortRequest();

    QUuid id_;
    int kind_;
    QString deviceId_;
    QString remotePath_;
    QString localPath_;
    qint64 bytesCompleted_ = 0;
    qint64 bytesTotal_ = 0;
    int status_ = Waiting;
    QDateTime createTime_;
    QNetworkReply *reply = nullptr; // download
    UploadSender *upload = nullptr;
    QTimer *speedTimer = nullptr;
    PartFile outputFile;
    qint64 startBytes = 0;
    SpeedWindow speedSamples;
    QElapsedTimer progressClock;
    QListWidgetItem *listItem_ = nullptr;
    DeviceSource deviceSource;

    // Per request.
    QNetworkReply::NetworkError replyCode = QNetworkReply::NoError;
    QString failure;          // why this request is being ended as Failed
    QString failureReason_;   // the same for the user
    bool headersSeen = false; // download: the answer's status line was examined
    bool bodyWanted = true;   // download: the body is file data (not an error page)
    qint64 idleFrom = 0;      // bytesCompleted when the request last moved
    int idleTicks = 0;
};

#endif
