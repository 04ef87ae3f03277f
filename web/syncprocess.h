#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QProcess;

// The download engine behind both web panes: aria2, started with the data directory's
// configuration, reached by the pages over its JSON-RPC interface on the loopback host.
//
//   SyncProcess sync(applicationDirectory(), QDir::homePath() + "/kelvora", window);
//   sync.setSavePath(savePath);   // the configuration follows the download folder
//   sync.startSyncProcess();      // once; again only after it ended
//
// aria2 ends with this object (and, should the program be killed, with the program's
// process: it watches the program's process id).
class SyncProcess : public QObject
{
    Q_OBJECT

public:
    SyncProcess(const QString &applicationDir, const QString &dataDir, QObject *parent = nullptr);
    ~SyncProcess() override;

    // The download folder; rewrites the configuration and tells a running aria2. An empty
    // path means the user's download folder of the platform.
    void setSavePath(const QString &path);

    // Brings the data directory's configuration and session file up to date (the template
    // beside the executable is the start of a missing configuration). False when the
    // configuration could not be written; it then stays as it was.
    bool writeSyncConfig();

    // Starts aria2 unless it runs already. False when it cannot run (no program, no
    // configuration with a secret, a failed start).
    bool startSyncProcess();
    bool isRunning() const;
    qint64 processId() const;

    // What the pages need to reach aria2, as the configuration says; valid after
    // writeSyncConfig().
    int rpcPort() const { return port; }
    QByteArray rpcSecret() const { return secret; }

    QString configPath() const;
    QString sessionPath() const;
    QString saveDir() const;

private:
    void stop();
    void changeRunningSaveDir();
    void OnOutput();
    void OnFinished(int exitCode);

    QString applicationDir;
    QString dataDir;
    QString savePath;
    QProcess *process = nullptr;
    QByteArray output; // the last lines aria2 wrote, for the debug log when it ends
    QByteArray secret;
    int port = 0;
};
