#ifndef KELVORA_TRANSFERTOTALS_H
#define KELVORA_TRANSFERTOTALS_H

#include "transfer/taskmanager.h"

#include <QString>

// The texts of a transfer page's totals row, from the task manager's summary of one list
// (kind 1 uploads, any other value downloads).
class TransferTotals
{
public:
    // The row is shown only while the list holds bytes to transfer.
    static bool visible(const TaskSummary &sum) { return sum.totalBytes > 0; }
    // Share of the list's bytes done, 0 to 100, truncated; 0 when there are none.
    static int percent(const TaskSummary &sum);
    // "上传速度：1.50 MB/s"
    static QString speedText(int kind, const TaskSummary &sum);
    // "上传进度：75% 共4个文件，还剩1个文件"
    static QString progressText(int kind, const TaskSummary &sum);
};

#endif
