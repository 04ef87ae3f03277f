#include "fuzzers.h"

#include "web/syncconfig.h"

#include <QList>

namespace {

// The key of an option line as aria2 reads it; empty for comments and lines without "=".
QByteArray keyOf(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith('#') || !line.contains('='))
        return QByteArray();
    return line.left(line.indexOf('=')).trimmed();
}

bool owned(const QByteArray &key)
{
    return key == "dir" || key == "input-file" || key == "save-session" || key == "rpc-secret";
}

// The lines the rewrite must leave alone, with their text as written (empty lines aside:
// appended lines may follow the file's last ones).
QList<QByteArray> foreignLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty() && !owned(keyOf(line)))
            lines << line;
    }
    return lines;
}

} // namespace

// Input: the download folder, a NUL byte, the configuration text.
void fuzzSyncConfig(const QByteArray &input)
{
    const int split = input.indexOf('\0');
    const QString saveDir = QString::fromUtf8(split < 0 ? QByteArray() : input.left(split));
    const QByteArray text = split < 0 ? input : input.mid(split + 1);
    const SyncConfigValues values{QStringLiteral("/home/a b/kelvora/aria2.session"), saveDir,
                                  "0123456789abcdef0123456789abcdef"};
    const QByteArray out = rewriteSyncConfig(text, values);

    FUZZ_CHECK(rewriteSyncConfig(out, values) == out);
    FUZZ_CHECK(foreignLines(out) == foreignLines(text));
    FUZZ_CHECK(syncConfigValue(out, "input-file") == values.sessionPath.toUtf8());
    FUZZ_CHECK(!syncConfigValue(out, "rpc-secret").isEmpty());
    const QByteArray dir = saveDir.toUtf8();
    if (!dir.isEmpty() && !dir.contains('\n') && !dir.contains('\r') && dir.trimmed() == dir &&
        !dir.contains(QByteArrayLiteral("\xef\xbf\xbd")))
        FUZZ_CHECK(syncConfigValue(out, "dir") == dir);
    const int port = syncConfigRpcPort(out);
    FUZZ_CHECK(port > 0 && port < 65536);
}

KELVORA_FUZZ_TARGET(fuzzSyncConfig)
