#include "transfer/recentlisting.h"

#include "browse/filetexts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSet>

QString RecentListing::dayTitle(const QDate &day, const QDate &today)
{
    if (day == today)
        return QCoreApplication::translate("RecentFile", "今天");
    if (day == today.addDays(-1))
        return QCoreApplication::translate("RecentFile", "昨天");
    return day.toString(QStringLiteral("yyyy-MM-dd"));
}

QVector<RecentListing::Row> RecentListing::rows(const QList<RecentFileRecord> &records,
                                                const QDate &today)
{
    QVector<Row> out;
    QSet<QDate> shown;
    const int n = qMin(records.size(), limit);
    for (int i = 0; i < n; ++i) {
        const RecentFileRecord &record = records.at(i);
        const QDateTime time =
            QDateTime::fromString(record.createTime, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        const QDate day = time.date();
        if (!shown.contains(day)) {
            shown.insert(day);
            Row header;
            header.isHeader = true;
            // A time the table cannot read still gets a header of its own.
            header.text = day.isValid() ? dayTitle(day, today) : record.createTime;
            out.append(header);
        }
        Row row;
        // The local path is the file's real name on this computer: shown as it is.
        row.text = record.localPath.mid(record.localPath.lastIndexOf(QLatin1Char('/')) + 1);
        row.localPath = record.localPath;
        row.kind = record.type;
        row.id = record.id;
        row.sizeText = formatFileSize(quint64(qMax<qint64>(0, record.bytesTotal)));
        row.timeText = time.toString(QStringLiteral("hh:mm:ss"));
        out.append(row);
    }
    return out;
}
