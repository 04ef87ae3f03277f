#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QHttpMultiPart;

// Blocking HTTP for tests: sends one request and spins an event loop until it ends.
// A QString converts to QUrl in tolerant mode: the query goes out as written, as the client
// sends it.
class HttpSync
{
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;
    struct Result
    {
        int status = 0; // 0 when no HTTP answer came
        int error = 0;  // QNetworkReply::NetworkError
        QByteArray body;
        Headers headers;
        QByteArray header(const QByteArray &name) const;
        QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    };

    explicit HttpSync(int timeoutMs = 60000) : timeoutMs_(timeoutMs) {}

    Result get(const QUrl &url, const Headers &headers = {});
    Result post(const QUrl &url, const QByteArray &body,
                const QByteArray &contentType = "application/x-www-form-urlencoded",
                const Headers &headers = {});
    Result post(const QUrl &url, QHttpMultiPart *multipart, const Headers &headers = {});
    // GET that hands the body to sink as it arrives (body stays empty).
    Result stream(const QUrl &url, const std::function<void(const QByteArray &)> &sink,
                  const Headers &headers = {});

private:
    Result wait(class QNetworkReply *reply, const std::function<void(const QByteArray &)> &sink);
    QNetworkAccessManager nam_;
    int timeoutMs_;
};
