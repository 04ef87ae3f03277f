#include "device/replyholder.h"

#include <QTimer>
#include <QVariant>

#include <memory>

namespace {

// Set on a reply once limit() armed it, and once its limits ended it (the error code).
const char limitedProperty[] = "kelvoraLimited";
const char endedProperty[] = "kelvoraLimitEnded";

ReplyHolder::Limits &defaults()
{
    static ReplyHolder::Limits limits;
    return limits;
}

// Aborting a reply that has already failed but not yet finished makes Qt report its error a
// second time ("Internal problem"); such a reply only needs to go.
void cancel(QNetworkReply *reply)
{
    reply->disconnect();
    if (reply->isRunning() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();
}

// Qt emits errorOccurred() and finished() from inside abort(); the recorded reason is already
// in place for the handlers.
void endByLimit(QNetworkReply *reply, QNetworkReply::NetworkError reason)
{
    if (!reply->isRunning() || reply->error() != QNetworkReply::NoError ||
        reply->property(endedProperty).isValid())
        return;
    qDebug("request ended: %s", reason == QNetworkReply::TimeoutError ? "time-out" : "too large");
    reply->setProperty(endedProperty, int(reason));
    reply->abort();
}

QTimer *startTimer(QNetworkReply *reply, int ms)
{
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, reply,
                     [reply] { endByLimit(reply, QNetworkReply::TimeoutError); });
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);
    timer->start(ms);
    return timer;
}

} // namespace

ReplyHolder::Limits ReplyHolder::defaultLimits()
{
    return defaults();
}

void ReplyHolder::setDefaultLimits(const Limits &limits)
{
    defaults() = limits;
}

void ReplyHolder::limit(QNetworkReply *reply, const Limits &limits)
{
    if (!reply || isLimited(reply))
        return;
    reply->setProperty(limitedProperty, true);
    if (reply->isFinished())
        return;
    if (const qint64 max = limits.maxBytes; max > 0) {
        // The declared length ends it before any byte arrives; the counts catch a body that
        // declares nothing, and what decompression makes of it.
        QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, max] {
            if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > max)
                endByLimit(reply, QNetworkReply::UnknownContentError);
        });
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, max](qint64 received, qint64) {
                             if (received > max || reply->bytesAvailable() > max)
                                 endByLimit(reply, QNetworkReply::UnknownContentError);
                         });
        // Qt counts the bytes on the wire; what inflating them made shows only here.
        QObject::connect(reply, &QIODevice::readyRead, reply, [reply, max] {
            if (reply->bytesAvailable() > max)
                endByLimit(reply, QNetworkReply::UnknownContentError);
        });
    }
    if (limits.timeoutMs > 0)
        startTimer(reply, limits.timeoutMs);
    if (limits.idleMs > 0) {
        QTimer *idle = startTimer(reply, limits.idleMs);
        QObject::connect(reply, &QNetworkReply::downloadProgress, idle, [idle] { idle->start(); });
    }
}

bool ReplyHolder::isLimited(const QNetworkReply *reply)
{
    return reply && reply->property(limitedProperty).toBool();
}

QNetworkReply::NetworkError ReplyHolder::error(const QNetworkReply *reply)
{
    if (!reply)
        return QNetworkReply::UnknownNetworkError;
    const QVariant reason = reply->property(endedProperty);
    return reason.isValid() ? QNetworkReply::NetworkError(reason.toInt()) : reply->error();
}

void ReplyHolder::forwardError(QNetworkReply *reply, QObject *context,
                               std::function<void(QNetworkReply::NetworkError)> onError)
{
    if (!reply || !context || !onError)
        return;
    auto reported = std::make_shared<bool>(false);
    QObject::connect(reply, &QNetworkReply::errorOccurred, context,
                     [reply, reported, onError](QNetworkReply::NetworkError) {
                         if (*reported)
                             return;
                         *reported = true;
                         onError(error(reply));
                     });
}

ReplyHolder::~ReplyHolder()
{
    abort();
}

void ReplyHolder::hold(QNetworkReply *reply, QObject *context, Handler handler)
{
    abort();
    current = reply;
    if (!reply)
        return;
    limit(reply, defaults());
    QObject::connect(reply, &QNetworkReply::finished, context, [this, reply, handler]() {
        // Cleared first: the handler may start the next request in this holder.
        if (current == reply)
            current = nullptr;
        if (handler)
            handler(reply);
        reply->disconnect();
        reply->deleteLater();
    });
}

void ReplyHolder::abort()
{
    QNetworkReply *reply = current;
    current = nullptr;
    abortAndRelease(reply);
}

void ReplyHolder::release(QNetworkReply *&reply)
{
    if (!reply)
        return;
    reply->disconnect();
    reply->deleteLater();
    reply = nullptr;
}

void ReplyHolder::abortAndRelease(QNetworkReply *&reply)
{
    if (!reply)
        return;
    cancel(reply);
    reply = nullptr;
}

void ReplyHolder::handleOnce(QNetworkReply *reply, QObject *context, Handler handler)
{
    if (!reply)
        return;
    limit(reply, defaults());
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, handler]() {
        if (handler)
            handler(reply);
        reply->disconnect();
        reply->deleteLater();
    });
    // A reply whose requester is gone is not left behind.
    QObject::connect(context, &QObject::destroyed, reply, [reply]() { cancel(reply); });
}
