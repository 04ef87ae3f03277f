#ifndef KELVORA_JSONNUMBERS_H
#define KELVORA_JSONNUMBERS_H

#include <QJsonValue>
#include <QtGlobal>

// Readers for numbers in replies from the network. A missing or mistyped value reads as 0,
// and out-of-range values never reach an undefined conversion.
class JsonNumbers
{
public:
    // A whole number within 32 bits, else 0.
    static int toInt(const QJsonValue &value);
    // A port: the whole number truncated to its low 16 bits, 0 when not a whole number.
    static quint16 toPort(const QJsonValue &value);
    // A byte count: a non-negative number (or a decimal text), else 0.
    static quint64 toSize(const QJsonValue &value);
};

#endif
