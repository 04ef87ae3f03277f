#include "device/replyholder.h"

#include <QNetworkReply>

namespace {

// Aborting a reply that has already failed but not yet finished makes Qt report its error a
// second time ("Internal problem"); such a reply only needs to go.
void cancel(QNetworkReply *reply)
{
    reply->disconnect();
    if (reply->isRunning() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();
}

} // namespace

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
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, handler]() {
        if (handler)
            handler(reply);
        reply->disconnect();
        reply->deleteLater();
    });
    // A reply whose requester is gone is not left behind.
    QObject::connect(context, &QObject::destroyed, reply, [reply]() { cancel(reply); });
}
