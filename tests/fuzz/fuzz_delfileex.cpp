#include "fuzzers.h"

#include "browse/deleteoutcome.h"

#include <QSet>

void fuzzDelFileEx(const QByteArray &body)
{
    const QStringList sent = {QStringLiteral("/media/sda1/a.txt"),
                              QStringLiteral("/media/sda1/%E4%B8%AD"),
                              QStringLiteral("/media/sda1/b|c")};
    const DeleteOutcome outcome = DeleteOutcome::evaluate(body, sent);
    FUZZ_CHECK(outcome.status == DeviceReply::Ok || (outcome.removed.isEmpty() && !outcome.reload));
    FUZZ_CHECK(outcome.messages.size() <= outcome.results.size() + 1);
    // Only entries that were sent are taken out, each once.
    const QSet<QString> removed(outcome.removed.cbegin(), outcome.removed.cend());
    FUZZ_CHECK(removed.size() == outcome.removed.size());
    for (const QString &path : outcome.removed)
        FUZZ_CHECK(sent.contains(path));
    // "删除完成" (a success) closes the messages of a reply that named unknown paths.
    FUZZ_CHECK(!outcome.reload || outcome.messages.last().kind == 1);
}

KELVORA_FUZZ_TARGET(fuzzDelFileEx)
