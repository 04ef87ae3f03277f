#include "tests/support/httpsync.h"

#include <QEventLoop>
#include <QHttpMultiPart>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

QByteArray HttpSync::Result::header(const QByteArray &name) const
{
    for (const auto &h : headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return QByteArray();
}

namespace {

QNetworkRequest request(const QUrl &url, const HttpSync::Headers &headers)
{
    QNetworkRequest req(url);
    req.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::ManualRedirectPolicy);
    for (const auto &h : headers)
        req.setRawHeader(h.first, h.second);
    return req;
}

} // namespace

HttpSync::Result HttpSync::wait(QNetworkReply *reply,
                                const std::function<void(const QByteArray &)> &sink)
{
    Result r;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (sink)
        QObject::connect(reply, &QNetworkReply::readyRead,
                         [reply, &sink] { sink(reply->readAll()); });
    QTimer::singleShot(timeoutMs_, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    const bool late = !reply->isFinished();
    if (late)
        reply->abort();
    r.error = late ? QNetworkReply::TimeoutError : reply->error();
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (sink)
        sink(reply->readAll());
    else
        r.body = reply->readAll();
    r.headers = reply->rawHeaderPairs();
    reply->disconnect();
    reply->deleteLater();
    return r;
}

HttpSync::Result HttpSync::get(const QUrl &url, const Headers &headers)
{
    return wait(nam_.get(request(url, headers)), {});
}

HttpSync::Result HttpSync::stream(const QUrl &url,
                                  const std::function<void(const QByteArray &)> &sink,
                                  const Headers &headers)
{
    return wait(nam_.get(request(url, headers)), sink);
}

HttpSync::Result HttpSync::post(const QUrl &url, const QByteArray &body,
                                const QByteArray &contentType, const Headers &headers)
{
    QNetworkRequest req = request(url, headers);
    req.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    return wait(nam_.post(req, body), {});
}

HttpSync::Result HttpSync::post(const QUrl &url, QHttpMultiPart *multipart, const Headers &headers)
{
    QNetworkReply *reply = nam_.post(request(url, headers), multipart);
    multipart->setParent(reply);
    return wait(reply, {});
}
