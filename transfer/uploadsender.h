#ifndef KELVORA_UPLOADSENDER_H
#define KELVORA_UPLOADSENDER_H

#include <QByteArray>
#include <QFile>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>

class QTcpSocket;

// Sends one local file as the device's upload form (one part, the fixed boundary) in an HTTP
// POST on a connection of its own, on the calling thread, and reads the device's answer.
// The network access manager hands a streamed request body to its own thread 16 KiB at a time,
// two thread switches per 16 KiB, which costs more than the upload itself on a fast link; here
// the file goes out in 256 KiB pieces with at most 1 MiB waiting in the socket (larger pieces
// measured slower on loopback).
//
// Signals as a network reply's: uploadProgress(body bytes sent, body length), errorOccurred
// (a socket failure, an HTTP error status, or OperationCanceledError after abort()), then
// finished() exactly once.
class UploadSender : public QObject
{
    Q_OBJECT

public:
    explicit UploadSender(QObject *parent = nullptr);
    ~UploadSender() override;

    // False (and nothing sent) when the file cannot be opened; errorString() says why.
    bool start(const QUrl &url, const QString &filePath);
    // Ends the request at once: errorOccurred(OperationCanceledError), then finished().
    void abort();

    qint64 fileSize() const { return file.size(); }
    QNetworkReply::NetworkError error() const { return error_; }
    int httpStatus() const { return status; }
    // The start of the answer's body.
    QByteArray answer() const { return body; }
    QString errorString() const { return errorText; }

signals:
    void uploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void errorOccurred(QNetworkReply::NetworkError code);
    void finished();

private:
    void OnConnected();
    void OnBytesWritten(qint64 count);
    void OnReadyRead();
    void OnDisconnected();
    void OnSocketError();
    void pump();
    bool answerComplete();
    void end(QNetworkReply::NetworkError code);

    QTcpSocket *socket = nullptr;
    QFile file;
    QByteArray head;     // request line, headers and the part's own lines
    QByteArray epilogue; // what follows the file
    qint64 bodyLength = 0;
    qint64 headLength = 0; // request head without the body
    qint64 queued = 0;     // bytes handed to the socket
    qint64 sent = 0;       // bytes the socket wrote
    bool fileDone = false;

    QByteArray incoming; // the answer until its head is complete
    QByteArray body;
    int status = 0;
    qint64 contentLength = -1;
    bool chunked = false;
    qint64 bodyReceived = 0;
    bool ended = false;
    QNetworkReply::NetworkError error_ = QNetworkReply::NoError;
    QString errorText;
};

#endif
