#include "transfer/transfertotals.h"

#include "browse/filetexts.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWidget", text);
}

} // namespace

int TransferTotals::percent(const TaskSummary &sum)
{
    if (sum.totalBytes <= 0)
        return 0;
    // An upload's count can pass its size for a moment (the form around the file), a
    // download's total can shrink when the device reports another size.
    const qint64 done = qBound<qint64>(0, sum.completedBytes, sum.totalBytes);
    return int(done * 100 / sum.totalBytes);
}

QString TransferTotals::speedText(int kind, const TaskSummary &sum)
{
    const QString label = kind == 1 ? tr("上传速度：") : tr("下载速度：");
    return label + formatFileSize(quint64(qMax(0, sum.speed))) + QStringLiteral("/s");
}

QString TransferTotals::progressText(int kind, const TaskSummary &sum)
{
    const QString label = kind == 1 ? tr("上传进度：") : tr("下载进度：");
    return label + QString::number(percent(sum)) + QStringLiteral("%") +
           tr(" 共%1个文件，还剩%2个文件").arg(sum.count).arg(sum.count - sum.completedCount);
}
