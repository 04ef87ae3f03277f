#ifndef KELVORA_RECENTLISTING_H
#define KELVORA_RECENTLISTING_H

#include "store/database.h"

#include <QDate>
#include <QString>
#include <QVector>

// The rows of the recent-files table: finished transfers, newest first, each day's under a
// header "今天", "昨天" or the date.
class RecentListing
{
public:
    static constexpr int limit = 100;

    class Row
    {
    public:
        bool isHeader = false;
        // Header: the day's title. File: the file's name.
        QString text;
        // File rows only.
        QString localPath;
        int kind = 0; // 0 download, 1 upload
        qint64 id = 0;
        QString sizeText;
        QString timeText; // "hh:mm:ss"
    };

    // records as the database lists them (newest first); only the first `limit` count.
    static QVector<Row> rows(const QList<RecentFileRecord> &records, const QDate &today);
    static QString dayTitle(const QDate &day, const QDate &today);
};

#endif
