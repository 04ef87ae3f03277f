#include "transfer/uploadsender.h"

#include "transfer/transferurls.h"

#include <QTcpSocket>

namespace {

const qint64 pieceSize = 256 * 1024;
// What may wait in the socket's buffer: enough to keep the link busy between two events.
const qint64 inFlight = 4 * pieceSize;
// Only the start of an answer is kept.
const int answerLimit = 64 * 1024;

QNetworkReply::NetworkError statusError(int status)
{
    switch (status) {
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        return status >= 500   ? QNetworkReply::UnknownServerError
               : status >= 400 ? QNetworkReply::UnknownContentError
                               : QNetworkReply::NoError;
    }
}

QNetworkReply::NetworkError socketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

} // namespace

UploadSender::UploadSender(QObject *parent) : QObject(parent) {}

UploadSender::~UploadSender()
{
    if (socket) {
        socket->disconnect(this);
        socket->abort();
    }
}

bool UploadSender::start(const QUrl &url, const QString &filePath)
{
    file.setFileName(filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        errorText = file.errorString();
        return false;
    }
    const QByteArray boundary = TransferUrls::boundary;
    const QByteArray partHead = "--" + boundary +
                                "\r\nContent-Type: application/octet-stream\r\n"
                                "Content-Disposition: form-data; name=\"file\"\r\n\r\n";
    epilogue = "\r\n--" + boundary + "--\r\n";
    bodyLength = partHead.size() + file.size() + epilogue.size();
    const int port = url.port(80);
    QByteArray target =
        url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (target.isEmpty())
        target = "/";
    head = "POST " + target + " HTTP/1.1\r\nHost: " + url.host(QUrl::FullyEncoded).toLatin1() +
           ':' + QByteArray::number(port) +
           "\r\nContent-Type: multipart/form-data; boundary=" + boundary +
           "\r\nContent-Length: " + QByteArray::number(bodyLength) +
           "\r\nConnection: close\r\nUser-Agent: Mozilla/5.0\r\n\r\n";
    headLength = head.size();
    head += partHead;

    socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, this, &UploadSender::OnConnected);
    connect(socket, &QTcpSocket::bytesWritten, this, &UploadSender::OnBytesWritten);
    connect(socket, &QTcpSocket::readyRead, this, &UploadSender::OnReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &UploadSender::OnDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &UploadSender::OnSocketError);
    socket->connectToHost(url.host(), quint16(port));
    return true;
}

void UploadSender::OnConnected()
{
    socket->write(head);
    queued = head.size();
    pump();
}

void UploadSender::pump()
{
    // Reading the file waits until the socket has taken most of what it holds, so the memory
    // in use stays a few MiB whatever the file's size.
    while (!fileDone && socket->bytesToWrite() < inFlight) {
        const QByteArray piece = file.read(pieceSize);
        if (piece.isEmpty()) {
            if (file.atEnd() || file.pos() >= file.size()) {
                socket->write(epilogue);
                queued += epilogue.size();
                fileDone = true;
            } else {
                errorText = QStringLiteral("cannot read ") + file.fileName() +
                            QStringLiteral(": ") + file.errorString();
                end(QNetworkReply::UnknownContentError);
            }
            return;
        }
        socket->write(piece);
        queued += piece.size();
    }
}

void UploadSender::OnBytesWritten(qint64 count)
{
    sent += count;
    const qint64 bodySent = qMax<qint64>(0, sent - headLength);
    emit uploadProgress(bodySent, bodyLength);
    if (!ended)
        pump();
}

void UploadSender::OnReadyRead()
{
    const QByteArray data = socket->readAll();
    if (status == 0) {
        incoming += data;
        const int headEnd = incoming.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            if (incoming.size() > answerLimit) {
                errorText = QStringLiteral("the answer's head is too long");
                end(QNetworkReply::ProtocolFailure);
            }
            return;
        }
        const QList<QByteArray> lines = incoming.left(headEnd).split('\n');
        const QList<QByteArray> statusLine = lines.value(0).trimmed().split(' ');
        status = statusLine.value(1).toInt();
        if (!statusLine.value(0).startsWith("HTTP/") || status < 100) {
            errorText = QStringLiteral("not an HTTP answer");
            end(QNetworkReply::ProtocolFailure);
            return;
        }
        for (const QByteArray &line : lines.mid(1)) {
            const int colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-length")
                contentLength = value.toLongLong();
            else if (name == "transfer-encoding")
                chunked = value.toLower().contains("chunked");
        }
        const QByteArray rest = incoming.mid(headEnd + 4);
        incoming.clear();
        if (status < 200) { // an interim answer: the real one follows
            status = 0;
            contentLength = -1;
            chunked = false;
            incoming = rest;
            if (!incoming.isEmpty())
                OnReadyRead();
            return;
        }
        body.append(rest.left(answerLimit));
        bodyReceived = rest.size();
    } else {
        body.append(data.left(answerLimit - body.size()));
        bodyReceived += data.size();
    }
    if (!answerComplete())
        return;
    const QNetworkReply::NetworkError code = statusError(status);
    if (code == QNetworkReply::NoError && !(fileDone && socket->bytesToWrite() == 0)) {
        errorText = QStringLiteral("the device answered before it had the whole file");
        end(QNetworkReply::ProtocolFailure);
        return;
    }
    end(code);
}

bool UploadSender::answerComplete()
{
    if (chunked)
        return body.endsWith("0\r\n\r\n");
    return contentLength >= 0 && bodyReceived >= contentLength;
}

void UploadSender::OnDisconnected()
{
    if (ended)
        return;
    if (socket->bytesAvailable() > 0)
        OnReadyRead();
    if (ended)
        return;
    // Without a length the answer ends with the connection.
    if (status >= 200 && contentLength < 0 && !chunked && fileDone) {
        end(statusError(status));
        return;
    }
    errorText = QStringLiteral("the connection closed before the answer was complete");
    end(QNetworkReply::RemoteHostClosedError);
}

void UploadSender::OnSocketError()
{
    if (ended)
        return;
    if (socket->error() == QAbstractSocket::RemoteHostClosedError) {
        OnDisconnected();
        return;
    }
    errorText = socket->errorString();
    end(socketError(socket->error()));
}

void UploadSender::abort()
{
    if (!ended)
        end(QNetworkReply::OperationCanceledError);
}

void UploadSender::end(QNetworkReply::NetworkError code)
{
    ended = true;
    error_ = code;
    socket->disconnect(this);
    socket->abort();
    file.close();
    if (code != QNetworkReply::NoError) {
        if (errorText.isEmpty())
            errorText = QStringLiteral("HTTP %1").arg(status);
        emit errorOccurred(code);
    }
    emit finished();
}
