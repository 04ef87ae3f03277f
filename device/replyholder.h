#ifndef KELVORA_REPLYHOLDER_H
#define KELVORA_REPLYHOLDER_H

#include <QPointer>
#include <functional>

class QNetworkReply;
class QObject;

// The one pattern for replies in flight: the requester keeps the reply in one member,
// handles its finished() once, and releases it with deleteLater() whatever happened.
class ReplyHolder
{
public:
    using Handler = std::function<void(QNetworkReply *reply)>;

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
