#ifndef KELVORA_DELETEOUTCOME_H
#define KELVORA_DELETEOUTCOME_H

#include "browse/devicereply.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// What a "delfileex" reply means for the list that sent it: one toast per file result, the
// entries to take out, and whether the list must be listed again.
class DeleteOutcome
{
public:
    class Result
    {
    public:
        QString path;
        // "result" as a decimal integer; -1 when it is not one.
        int result = -1;
    };

    class Message
    {
    public:
        int kind = 0; // MessageKind: Error 0, Done 1
        QString text;
    };

    DeviceReply::Status status = DeviceReply::NotObject;
    int rtn = 0;
    QVector<Result> results;

    // Filled by evaluate(), in reply order.
    QVector<Message> messages;
    // Sent paths the device deleted (each once).
    QStringList removed;
    // The device named a path that was not sent: the list no longer matches the device.
    bool reload = false;

    static DeleteOutcome parse(const QByteArray &body);
    // sentPaths are the entries' paths as the device spells them. A result path is matched as
    // it stands or, when the device echoes it encoded, percent-decoded.
    static DeleteOutcome evaluate(const QByteArray &body, const QStringList &sentPaths);
};

#endif
