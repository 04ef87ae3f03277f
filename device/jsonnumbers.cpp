#include "device/jsonnumbers.h"

#include <QString>
#include <climits>
#include <cmath>

int JsonNumbers::toInt(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!(number >= INT_MIN && number <= INT_MAX) || number != std::trunc(number))
        return 0;
    return int(number);
}

quint16 JsonNumbers::toPort(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    // 2^53 bounds the whole numbers a double holds exactly.
    if (!(std::fabs(number) <= 9007199254740992.0) || number != std::trunc(number))
        return 0;
    return quint16(quint64(qint64(number)));
}

quint64 JsonNumbers::toSize(const QJsonValue &value)
{
    if (value.isString()) {
        bool ok = false;
        const quint64 number = value.toString().trimmed().toULongLong(&ok);
        return ok ? number : 0;
    }
    if (!value.isDouble())
        return 0;
    const double number = value.toDouble();
    if (!(number >= 0.0) || number >= 18446744073709551616.0)
        return 0;
    return quint64(number);
}
