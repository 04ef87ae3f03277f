#ifndef KELVORA_REPLYHOLDER_H
#define KELVORA_REPLYHOLDER_H

#include <QNetworkReply>
#include <QPointer>
#include <functional>

class QObject;

// The one pattern for replies in flight: the requester keeps the reply in one member,
// handles its finished() once, and releases it with deleteLater() whatever happened.
//
// Every reply also gets limits, since a box (or anything that answers discovery) may stream
// for ever or never answer at all: a body past maxBytes, or a request still running after
// timeoutMs, is aborted and then finishes like a failed one. Read the outcome with
// ReplyHolder::error(reply), never reply->error():
//
//     holder.hold(device->requestQueryDir(path, 0, 100), this, [this](QNetworkReply *reply) {
//         if (ReplyHolder::error(reply) == QNetworkReply::TimeoutError)
//             ...;                               // say it timed out
//         else if (ReplyHolder::error(reply) != QNetworkReply::NoError)
//             ...;                               // failed: keep what is shown
//         else if (const auto object = UntrustedJson::parseObject(reply->readAll()))
//             ...;
//     });
//
// hold() and handleOnce() arm the default limits on a reply that has none yet; a requester
// that expects more (a whole picture) calls limit() with its own before handing it over.
class ReplyHolder
{
public:
    using Handler = std::function<void(QNetworkReply *reply)>;

    class Limits
    {
    public:
        // Body bytes; 0: no cap. When Qt inflates the body (the request set no Accept-Encoding
        // of its own) the inflated bytes count, as they arrive.
        qint64 maxBytes = 4 * 1024 * 1024;
        // The whole request, from now until finished(); 0: none.
        int timeoutMs = 30000;
        // Silence: no body byte for this long; 0: none. For long transfers that keep moving.
        int idleMs = 0;
    };
    // What hold() and handleOnce() arm; tests shorten it.
    static Limits defaultLimits();
    static void setDefaultLimits(const Limits &limits);

    // Arms limits on a reply (the first call counts; later ones are ignored).
    static void limit(QNetworkReply *reply, const Limits &limits);
    static bool isLimited(const QNetworkReply *reply);
    // reply->error(), except for a reply its limits ended: TimeoutError when it took too long
    // or went silent, UnknownContentError when its body grew too large.
    static QNetworkReply::NetworkError error(const QNetworkReply *reply);
    // Calls onError(error(reply)) when the reply fails (once), in context's thread and only
    // while context lives. For toasts and error slots: a time-out reads as TimeoutError.
    static void forwardError(QNetworkReply *reply, QObject *context,
                             std::function<void(QNetworkReply::NetworkError)> onError);

    ReplyHolder() = default;
    ReplyHolder(const ReplyHolder &) = delete;
    ReplyHolder &operator=(const ReplyHolder &) = delete;
    // A reply still in flight is aborted and released.
    ~ReplyHolder();

    // Takes the reply (a pending one is aborted first); on finished() the handler runs while
    // the reply is still held, then the reply is released. No call after context is gone.
    void hold(QNetworkReply *reply, QObject *context, Handler handler);
    QNetworkReply *reply() const { return current; }
    bool isPending() const { return current != nullptr; }
    // Disconnects, aborts and releases the reply in flight, if any.
    void abort();

    // For requesters that keep a plain pointer member: disconnect everything, deleteLater()
    // and clear the member. Safe on null.
    static void release(QNetworkReply *&reply);
    // Same, aborting the transfer first.
    static void abortAndRelease(QNetworkReply *&reply);
    // For several replies in flight at once: the handler runs once on finished(), then the
    // reply is released.
    static void handleOnce(QNetworkReply *reply, QObject *context, Handler handler);

private:
    QPointer<QNetworkReply> current;
};

#endif
