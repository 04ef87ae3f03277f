#include "transfer/task.h"

#include "app/networkmanager.h"
#include "device/devicerecord.h"
#include "device/untrustedjson.h"
#include "transfer/savename.h"
#include "transfer/transferurls.h"
#include "transfer/uploadsender.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QTimer>

#include <limits>
#include <memory>

namespace {

const qint64 sharedBufferSize = 1024 * 1024;
// Each copy through the buffer takes at most this much, so that what the reply hands over is
// still in the processor's cache when it is written to the file: measured, it halves the CPU
// time per GiB against copies of the whole megabyte.
const qint64 copyPiece = 128 * 1024;
// What Qt may hold of a download before it is written: a slow disk must not make it buffer
// the file in memory.
const qint64 readBufferSize = 4 * sharedBufferSize;
// A request that moves no byte for this long is ended as failed, so the queue goes on.
const int stallTicks = 60 * 1000 / SpeedWindow::intervalMs;

// One read buffer for all downloads: they all run on the GUI thread, never at the same time.
char *sharedBuffer()
{
    static std::unique_ptr<char[]> buffer(new char[sharedBufferSize]);
    return buffer.get();
}

const char *errorName(QNetworkReply::NetworkError code)
{
    const char *name = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
    return name ? name : "UnknownError";
}

// Why a request failed, as the user is told.
QString networkFailure(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::ConnectionRefusedError:
        return Task::tr("连接被拒绝，请检查设备是否在线");
    case QNetworkReply::RemoteHostClosedError:
        return Task::tr("连接被设备断开");
    case QNetworkReply::HostNotFoundError:
        return Task::tr("找不到设备");
    case QNetworkReply::TimeoutError:
        return Task::tr("连接超时");
    case QNetworkReply::ContentNotFoundError:
        return Task::tr("设备上没有这个文件");
    case QNetworkReply::ContentAccessDenied:
    case QNetworkReply::ContentOperationNotPermittedError:
        return Task::tr("设备拒绝访问");
    default:
        return Task::tr("网络错误（%1）").arg(QLatin1String(errorName(code)));
    }
}

} // namespace

Task::Task(int kind, QObject *parent)
    : QObject(parent), id_(QUuid::createUuid()), kind_(kind),
      createTime_(QDateTime::currentDateTime())
{
    init();
}

Task::Task(int kind, const QUuid &id, const QString &deviceId, const QString &remotePath,
           const QString &localPath, qint64 bytesCompleted, qint64 bytesTotal, int status,
           const QDateTime &createTime, QObject *parent)
    : QObject(parent), id_(id), kind_(kind), deviceId_(deviceId), remotePath_(remotePath),
      localPath_(localPath), bytesCompleted_(bytesCompleted), bytesTotal_(bytesTotal),
      status_(status), createTime_(createTime)
{
    init();
}

void Task::init()
{
    speedTimer = new QTimer(this);
    connect(speedTimer, &QTimer::timeout, this, &Task::updateSpeed);
    progressClock.start();
}

Task::~Task()
{
    qDebug() << "delete task!" << localPath_;
    // No signal of the reply reaches a task that is going away.
    if (QNetworkReply *running = takeReply()) {
        running->abort();
        running->deleteLater();
    }
    if (upload) {
        upload->disconnect(this);
        delete upload;
    }
    closeOutput();
}

QNetworkReply *Task::takeReply()
{
    QNetworkReply *taken = reply;
    reply = nullptr;
    if (taken)
        taken->disconnect(this);
    return taken;
}

bool Task::start()
{
    if (requestRunning())
        return false;
    startBytes = bytesCompleted_;
    progressClock.restart();
    const DeviceRecord *device = deviceSource ? deviceSource() : nullptr;
    if (!device)
        return false;
    replyCode = QNetworkReply::NoError;
    failure.clear();
    failureReason_.clear();
    headersSeen = false;
    bodyWanted = true;
    if (kind_ == Download)
        startDownload(*device);
    else
        startUpload(*device);
    return false;
}

void Task::startDownload(const DeviceRecord &device)
{
    const QString folder = QFileInfo(localPath_).absolutePath();
    if (!QDir().mkpath(folder)) {
        fail(QStringLiteral("cannot create folder ") + folder, tr("无法创建保存目录"));
        return;
    }
    // The temporary file is the truth about what has arrived: the stored count can be behind
    // it (the program was killed after writing) or, after a power loss, ahead of it.
    qint64 offset = qMax<qint64>(0, PartFile::lengthOf(tempPath()));
    if (bytesTotal_ > 0 && offset > bytesTotal_)
        offset = 0;
    if (offset != bytesCompleted_)
        qDebug("resume at %lld, the temporary file's length (stored %lld)", offset,
               bytesCompleted_);
    if (!outputFile.open(tempPath(), offset) || (offset > 0 && !outputFile.sync())) {
        fail(QStringLiteral("cannot open ") + tempPath() + QStringLiteral(": ") +
                 outputFile.errorString(),
             localWriteFailure());
        closeOutput();
        return;
    }
    bytesCompleted_ = startBytes = offset;
    outputFile.followWriteback(this, [this] { readAvailable(false); });
    if (bytesTotal_ > 0 && offset == bytesTotal_) {
        // Everything arrived before; only the rename is missing.
        began();
        speedTimer->stop();
        completeDownload();
        return;
    }

    const QString url = TransferUrls::download(device, remotePath_);
    QNetworkRequest request(TransferUrls::toUrl(url));
    // Offsets count the file's own bytes: no compressed form, whose ranges would be another's.
    request.setRawHeader("Accept-Encoding", "identity");
    if (bytesCompleted_ > 0)
        request.setRawHeader("Range", TransferUrls::rangeHeader(bytesCompleted_));
    qDebug() << "download:" << url;
    reply = networkManager()->get(request);
    if (!reply) {
        closeOutput();
        return;
    }
    reply->setReadBufferSize(readBufferSize);
    connect(reply, &QNetworkReply::finished, this, &Task::RequestFinished);
    connect(reply, &QNetworkReply::readyRead, this, &Task::OnReadyRead);
    connect(reply, &QNetworkReply::errorOccurred, this, &Task::OnReplyError);
    connect(reply, &QNetworkReply::metaDataChanged, this, &Task::OnReplyMetaDataChanged);
    began();
}

void Task::startUpload(const DeviceRecord &device)
{
    // An upload always sends the whole file.
    startBytes = bytesCompleted_ = 0;
    const QString url = TransferUrls::upload(device, remotePath_, localPath_);
    auto *sender = new UploadSender(this);
    if (!sender->start(TransferUrls::toUrl(url), localPath_)) {
        const QString reason = sender->errorString();
        delete sender;
        fail(QStringLiteral("cannot read ") + localPath_ + QStringLiteral(": ") + reason,
             tr("无法读取本地文件"));
        return;
    }
    upload = sender;
    bytesTotal_ = sender->fileSize();
    qDebug() << "upload:" << url;
    connect(sender, &UploadSender::uploadProgress, this, &Task::setProgress);
    connect(sender, &UploadSender::finished, this, &Task::RequestFinished);
    connect(sender, &UploadSender::errorOccurred, this, &Task::OnReplyError);
    began();
}

void Task::began()
{
    idleFrom = bytesCompleted_;
    idleTicks = 0;
    setStatus(Running);
    speedSamples.clear();
    speedTimer->start(SpeedWindow::intervalMs);
}

void Task::abortRequest()
{
    if (reply)
        reply->abort();
    else if (upload)
        upload->abort();
}

bool Task::pause()
{
    if (status_ == Running && requestRunning()) {
        // The request ends at once; its end sets Paused.
        abortRequest();
        return true;
    }
    if (status_ == Queued) {
        setStatus(Paused);
        return true;
    }
    return false;
}

bool Task::queue()
{
    // A running request is not started a second time. (A task read back from the database
    // may say Running without one.)
    if (requestRunning())
        return false;
    setStatus(Queued);
    return true;
}

void Task::discard()
{
    pause();
    closeOutput();
    if (kind_ == Download)
        QFile::remove(tempPath());
}

int Task::speed() const
{
    if (status_ != Running || bytesCompleted_ >= bytesTotal_)
        return 0;
    return int(qMin<qint64>(speedSamples.rate(), std::numeric_limits<int>::max()));
}

bool Task::syncProgress()
{
    return outputFile.sync();
}

void Task::setProgress(qint64 bytesSent, qint64 bytesTotal)
{
    if (bytesSent <= 0)
        return;
    // bytesSent counts the whole form; the file's bytes are what remains after the form's
    // own lines, so the count ends exactly at the file's size.
    const qint64 overhead = bytesTotal > 0 ? qMax<qint64>(0, bytesTotal - bytesTotal_) : 0;
    bytesCompleted_ = qBound<qint64>(0, bytesSent - overhead, bytesTotal_);
    progressed();
}

void Task::progressed()
{
    if (progressClock.elapsed() > 1000 || (bytesTotal_ > 0 && bytesCompleted_ >= bytesTotal_)) {
        emit UpdateProgress(this);
        progressClock.restart();
    }
}

void Task::OnReplyMetaDataChanged()
{
    if (!reply || headersSeen)
        return;
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (code == 0)
        return;
    headersSeen = true;
    if (code == 206) {
        const QByteArray header = reply->rawHeader("Content-Range");
        const TransferUrls::ContentRange range = TransferUrls::parseContentRange(header);
        // A part whose place in the file is unknown or elsewhere must not be appended.
        if (!range.hasRange()) {
            fail(QStringLiteral("the device sent a part without a usable range: ") +
                     QString::fromLatin1(header.left(100)),
                 tr("设备发来的数据与请求不符"));
            return;
        }
        if (range.first != startBytes) {
            fail(QStringLiteral("the device sent bytes from %1, asked from %2")
                     .arg(range.first)
                     .arg(startBytes),
                 tr("设备发来的数据与请求不符"));
            return;
        }
        if (range.total >= 0 && range.total != bytesTotal_)
            bytesTotal_ = range.total;
    } else if (code == 200) {
        // The whole file, whatever was asked: what is in the temporary file goes.
        if (startBytes > 0) {
            qDebug("range not honoured, download starts over");
            if (!outputFile.restart()) {
                fail(QStringLiteral("cannot restart ") + tempPath() + QStringLiteral(": ") +
                         outputFile.errorString(),
                     localWriteFailure());
                return;
            }
            startBytes = bytesCompleted_ = 0;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() != bytesTotal_)
            bytesTotal_ = length.toLongLong();
    } else {
        // An error page: Qt reports the status as an error, its text is no file data.
        bodyWanted = false;
        // The part already here is longer than the device's file now: the next try starts over.
        if (code == 416 && outputFile.restart()) {
            startBytes = bytesCompleted_ = 0;
            const qint64 total =
                TransferUrls::parseContentRange(reply->rawHeader("Content-Range")).total;
            if (total >= 0)
                bytesTotal_ = total;
        }
    }
}

void Task::OnReadyRead()
{
    readAvailable(false);
}

void Task::readAvailable(bool all)
{
    if (!reply)
        return;
    if (!headersSeen)
        OnReplyMetaDataChanged();
    if (!reply || !outputFile.isOpen())
        return;
    if (!bodyWanted) {
        reply->skip(reply->bytesAvailable());
        return;
    }
    // While the disk is behind, the data waits in the reply (whose buffer is capped, so the
    // connection waits too); the file's writeback calls again when the disk caught up.
    char *buffer = sharedBuffer();
    qint64 available = reply->bytesAvailable();
    while (available > 0 && (all || outputFile.backlog() < PartFile::backlogLimit)) {
        const qint64 got = reply->read(buffer, qMin(available, copyPiece));
        if (got <= 0)
            break;
        const bool written = outputFile.write(buffer, got);
        bytesCompleted_ = outputFile.size();
        if (!written) {
            fail(QStringLiteral("cannot write ") + tempPath() + QStringLiteral(": ") +
                     outputFile.errorString(),
                 localWriteFailure());
            return;
        }
        available -= got;
    }
    progressed();
}

void Task::OnReplyError(QNetworkReply::NetworkError code)
{
    qDebug("task, NetWork err: %s", errorName(code));
    replyCode = code;
    emit replyError(code);
}

QString Task::localWriteFailure() const
{
    return outputFile.isOutOfSpace() ? tr("磁盘空间不足") : tr("无法写入本地文件");
}

void Task::fail(const QString &reason, const QString &shown)
{
    qDebug("task failed: %s", qUtf8Printable(reason));
    if (failure.isEmpty()) {
        failure = reason;
        failureReason_ = shown;
    }
    if (requestRunning() && status_ == Running) {
        // The request's end sets Failed.
        abortRequest();
        return;
    }
    closeOutput();
    setStatus(Failed);
}

void Task::RequestFinished()
{
    speedTimer->stop();
    if (UploadSender *sender = upload) {
        upload = nullptr;
        sender->disconnect(this);
        finishUpload(sender);
        sender->deleteLater();
        return;
    }
    QNetworkReply *finished = reply;
    if (!finished)
        return;
    const QNetworkReply::NetworkError error =
        finished->error() != QNetworkReply::NoError ? finished->error() : replyCode;
    // What arrived before the end is good data, also when the end was an error.
    if (failure.isEmpty())
        readAvailable(true);
    takeReply();
    finishDownload(error);
    finished->deleteLater();
}

void Task::finishDownload(QNetworkReply::NetworkError error)
{
    // What was written is on the disk before the count is announced and stored.
    if (!outputFile.sync() && failure.isEmpty()) {
        failure = QStringLiteral("cannot write ") + tempPath() + QStringLiteral(": ") +
                  outputFile.errorString();
        failureReason_ = localWriteFailure();
    }
    if (!failure.isEmpty()) {
        closeOutput();
        setStatus(Failed);
    } else if (error == QNetworkReply::OperationCanceledError) {
        closeOutput();
        setStatus(Paused);
    } else if (error != QNetworkReply::NoError) {
        qDebug("task err %s", errorName(error));
        failureReason_ = networkFailure(error);
        closeOutput();
        setStatus(Failed);
    } else if (bytesCompleted_ < bytesTotal_) {
        // The connection closed early without an error: resumable from here.
        qDebug("task err: the answer ended at %lld of %lld bytes", bytesCompleted_, bytesTotal_);
        failureReason_ = tr("连接中断，文件没有下载完整");
        closeOutput();
        setStatus(Failed);
    } else {
        completeDownload();
    }
}

void Task::completeDownload()
{
    bytesTotal_ = qMax(bytesTotal_, bytesCompleted_);
    bool clash = false;
    bool moved = outputFile.moveTo(localPath_, &clash);
    QString target = localPath_;
    // A file of the final name appeared meanwhile: the next free name, never over it.
    for (int attempt = 0; !moved && clash && attempt < 100; ++attempt) {
        const QFileInfo info(localPath_);
        target = SaveName::nextFree(info.absolutePath(), info.fileName());
        moved = outputFile.moveTo(target, &clash);
    }
    if (!moved) {
        qDebug("task err: cannot rename %s: %s", qUtf8Printable(tempPath()),
               qUtf8Printable(outputFile.errorString()));
        failureReason_ = localWriteFailure();
        closeOutput();
        setStatus(Failed);
        return;
    }
    if (target != localPath_) {
        qDebug("saved as %s, the name was taken", qUtf8Printable(target));
        localPath_ = target;
        emit localPathChanged(this);
    }
    emit UpdateProgress(this);
    setStatus(Complete);
    qDebug("task finish!");
}

void Task::finishUpload(UploadSender *sender)
{
    const QNetworkReply::NetworkError error = sender->error();
    if (!failure.isEmpty()) {
        setStatus(Failed);
        return;
    }
    if (error == QNetworkReply::OperationCanceledError) {
        setStatus(Paused);
        return;
    }
    if (error != QNetworkReply::NoError) {
        qDebug("task err %s: %s", errorName(error), qUtf8Printable(sender->errorString()));
        failureReason_ = networkFailure(error);
        setStatus(Failed);
        return;
    }
    // A device that took the request but not the file says so in its answer.
    const QJsonObject result =
        UntrustedJson::parseObject(sender->answer()).value_or(QJsonObject());
    if (result.contains(QLatin1String("rtn")) &&
        result.value(QLatin1String("rtn")).toInt(-1) != 0) {
        qDebug("task err: the device refused the file: %s", sender->answer().left(200).constData());
        failureReason_ = tr("设备没有接收这个文件");
        setStatus(Failed);
        return;
    }
    bytesCompleted_ = bytesTotal_;
    emit UpdateProgress(this);
    setStatus(Complete);
    qDebug("task finish!");
}

void Task::updateSpeed()
{
    speedSamples.add(bytesCompleted_);
    if (status_ != Running || !requestRunning())
        return;
    // A disk that is behind holds the download back; that is no stall of the connection.
    if (bytesCompleted_ != idleFrom || outputFile.backlog() >= PartFile::backlogLimit) {
        idleFrom = bytesCompleted_;
        idleTicks = 0;
    } else if (++idleTicks >= stallTicks) {
        const int seconds = stallTicks * SpeedWindow::intervalMs / 1000;
        fail(QStringLiteral("no data for %1 s").arg(seconds), tr("%1 秒没有收到数据").arg(seconds));
        return;
    }
    // Writing on after the file's folder went away would lose everything at the end.
    if (kind_ == Download && outputFile.isOpen() && !outputFile.isReachable())
        fail(QStringLiteral("the temporary file is gone: ") + tempPath(), tr("临时文件已被删除"));
}

void Task::setStatus(int status)
{
    status_ = status;
    emit StateChanged(this);
}

void Task::closeOutput()
{
    outputFile.sync();
    outputFile.close();
}
