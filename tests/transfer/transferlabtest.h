#pragma once
// What the transfer tests against the lab share: source files with known content, and reads of
// the stored rows.
#include "tests/support/labdevice.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QVariant>

const QString kDev1 = QStringLiteral("TVK0000000001");
const QString kDev3 = QStringLiteral("TVK0000000003");

inline QByteArray pseudoRandom(qint64 size, quint32 seed)
{
    QByteArray data(int(size), Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        data[i] = char(seed >> 24);
    }
    return data;
}

inline bool writeFile(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray sha256(const QString &path)
{
    QFile f(path);
    QCryptographicHash h(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && h.addData(&f) ? h.result() : QByteArray();
}

// bytes_completed, bytes_total, status, local_path of a stored transfer; empty when none.
inline QVariantList storedRow(int kind, const QString &taskId)
{
    QSqlQuery q;
    q.prepare(QStringLiteral("SELECT bytes_completed, bytes_total, status, local_path FROM %1 "
                             "WHERE task_id = ?")
                  .arg(QLatin1String(kind == 1 ? "upload" : "download")));
    q.addBindValue(taskId);
    if (!q.exec() || !q.next())
        return {};
    return {q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toInt(),
            q.value(3).toString()};
}
