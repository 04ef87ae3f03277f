#pragma once

#include <QByteArray>
#include <QString>

// aria2's configuration file as the program keeps it: the lines it owns follow the user's
// download folder and the data directory, every other line stays as the user wrote it.

// The values the program owns. Paths are written with the platform's native separators.
struct SyncConfigValues
{
    QString sessionPath;  // "input-file" and "save-session"
    QString saveDir;      // "dir"
    QByteArray rpcSecret; // "rpc-secret", written only where the file has none yet
};

// The aria2 RPC port when the configuration names none.
constexpr int defaultSyncRpcPort = 6800;

// Rewrites the text of a configuration file. A line is owned when its key (the text before
// the first "=", blanks trimmed) is "input-file", "save-session" or "dir": it becomes
// "key=value" with the line's own ending. An empty "rpc-secret" gets the given secret; a set
// one stays. Owned keys the file lacks are appended. Comment lines and every other line are
// copied byte for byte. A value holding a line break is never written (its lines stay), so
// that no path can smuggle options into the file.
QByteArray rewriteSyncConfig(const QByteArray &text, const SyncConfigValues &values);

// The value of the last non-comment "key=value" line for the key, blanks trimmed; empty when
// there is none.
QByteArray syncConfigValue(const QByteArray &text, const QByteArray &key);

// The RPC port the configuration sets ("rpc-listen-port"), or the default.
int syncConfigRpcPort(const QByteArray &text);

// A fresh random secret for aria2's RPC: 32 hex digits from the system's random source.
QByteArray newRpcSecret();
