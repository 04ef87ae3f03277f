#include "web/syncconfig.h"

#include <QDir>
#include <QList>
#include <QRandomGenerator>

namespace {

struct Line
{
    QByteArray body;   // without its ending
    QByteArray ending; // "\r\n", "\n" or empty for an unterminated last line
};

QList<Line> splitLines(const QByteArray &text)
{
    QList<Line> lines;
    int start = 0;
    while (start < text.size()) {
        const int newline = text.indexOf('\n', start);
        if (newline < 0) {
            lines.append({text.mid(start), QByteArray()});
            break;
        }
        int end = newline;
        if (end > start && text.at(end - 1) == '\r')
            --end;
        lines.append({text.mid(start, end - start), text.mid(end, newline + 1 - end)});
        start = newline + 1;
    }
    return lines;
}

bool isComment(const QByteArray &body)
{
    const QByteArray trimmed = body.trimmed();
    return trimmed.isEmpty() || trimmed.startsWith('#');
}

// The key of an option line, or empty for comments and lines without "=".
QByteArray keyOf(const QByteArray &body)
{
    if (isComment(body))
        return QByteArray();
    const int eq = body.indexOf('=');
    return eq < 0 ? QByteArray() : body.left(eq).trimmed();
}

QByteArray valueOf(const QByteArray &body)
{
    return body.mid(body.indexOf('=') + 1).trimmed();
}

bool hasLineBreak(const QByteArray &value)
{
    return value.contains('\n') || value.contains('\r');
}

QByteArray nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toUtf8();
}

} // namespace

QByteArray rewriteSyncConfig(const QByteArray &text, const SyncConfigValues &values)
{
    struct Owned
    {
        QByteArray key;
        QByteArray value;
        bool replaceSet; // false: only an empty value is replaced
        bool seen;
    };
    QList<Owned> owned = {
        {"input-file", nativePath(values.sessionPath), true, false},
        {"save-session", nativePath(values.sessionPath), true, false},
        {"dir", nativePath(values.saveDir), true, false},
        {"rpc-secret", values.rpcSecret, false, false},
    };
    for (Owned &o : owned) {
        // Nothing to write, or a value that would break out of its line: leave those lines.
        if (o.value.isEmpty() || hasLineBreak(o.value))
            o.seen = true;
    }

    const QList<Line> lines = splitLines(text);
    QByteArray defaultEnding =
        lines.isEmpty() || lines.first().ending.isEmpty() ? QByteArray("\n") : lines.first().ending;
#if defined(Q_OS_WIN)
    if (lines.isEmpty())
        defaultEnding = "\r\n";
#endif

    QByteArray out;
    out.reserve(text.size() + 256);
    for (const Line &line : lines) {
        const QByteArray key = keyOf(line.body);
        Owned *match = nullptr;
        for (Owned &o : owned) {
            if (!key.isEmpty() && key == o.key && !o.value.isEmpty() && !hasLineBreak(o.value))
                match = &o;
        }
        if (match && (match->replaceSet || valueOf(line.body).isEmpty())) {
            out += match->key + '=' + match->value + line.ending;
            match->seen = true;
        } else {
            if (match)
                match->seen = true; // a set secret stays as it is
            out += line.body + line.ending;
        }
    }
    for (const Owned &o : owned) {
        if (o.seen)
            continue;
        // An unterminated last line gets its ending; a dangling "\r" is half of one.
        if (!out.isEmpty() && !out.endsWith('\n'))
            out += out.endsWith('\r') ? QByteArray("\n") : defaultEnding;
        out += o.key + '=' + o.value + defaultEnding;
    }
    return out;
}

QByteArray syncConfigValue(const QByteArray &text, const QByteArray &key)
{
    QByteArray value;
    for (const Line &line : splitLines(text)) {
        if (keyOf(line.body) == key)
            value = valueOf(line.body);
    }
    return value;
}

int syncConfigRpcPort(const QByteArray &text)
{
    bool ok = false;
    const int port = syncConfigValue(text, "rpc-listen-port").toInt(&ok);
    return ok && port > 0 && port < 65536 ? port : defaultSyncRpcPort;
}

QByteArray newRpcSecret()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof(words)).toHex();
}
