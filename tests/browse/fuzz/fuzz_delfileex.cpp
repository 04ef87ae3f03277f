#include "browsefuzzers.h"

#include "browse/deleteoutcome.h"

#include <QSet>

void fuzzDelFileEx(const QByteArray &body)
{
    const QStringList sent = {QStringLiteral("/media/sda1/a.txt"),
                              QStringLiteral("/media/sda1/%E4%B8%AD"),
                              QStringLiteral("/media/sda1/b|c")};
    const DeleteOutcome outcome = DeleteOutcome::evaluate(body, sent);
    if (outcome.status != DeviceReply::Ok && (!outcome.removed.isEmpty() || outcome.reload))
        __builtin_trap();
    if (outcome.messages.size() > outcome.results.size() + 1)
        __builtin_trap();
    const QSet<QString> removed(outcome.removed.cbegin(), outcome.removed.cend());
    if (removed.size() != outcome.removed.size())
        __builtin_trap();
    for (const QString &path : outcome.removed) {
        if (!sent.contains(path))
            __builtin_trap();
    }
    if (outcome.reload && outcome.messages.last().kind != 1)
        __builtin_trap();
}

KELVORA_FUZZ_TARGET(fuzzDelFileEx)
