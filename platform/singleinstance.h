#pragma once

#include <QSharedMemory>
#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QObject;

// The name of the single-instance segment and of the first instance's local server. On
// Windows "qm-kelvora-client" (the session already scopes it). Elsewhere fixed names in the
// shared temporary directory let another user of the machine hold them and keep the program
// from starting: there it is that name inside singleInstanceDirectory(), a full path, and the
// segment's key file and the lock file sit beside it ("<name>.key", "<name>.lock").
QString singleInstanceName();

// Unix: a folder only this user may enter: $XDG_RUNTIME_DIR when it is one, else
// "kelvora-<uid>" in the temporary directory (created or tightened to 0700, refused when it is
// a link or someone else's), else ~/.cache/kelvora-run. Empty on Windows.
QString singleInstanceDirectory();

// Guards the one running instance with a one-byte shared-memory segment.
//
// Start-up (after the application object exists):
//     SingleInstance instance;
//     if (!instance.tryCreate())
//         return SingleInstance::pokeFirstInstance(); // runs the event loop, no window
//     ... build the main window, app.exec(), destroy the window ...
//     instance.release();
//
// On Unix a killed first instance leaves its segment and socket file behind. tryCreate()
// recognises a segment that no process is attached to any more, removes it together with the
// stale socket file and becomes the first instance. A segment under the key that belongs to
// another user (who guessed the key) is left alone: the key file is renewed, which gives a new
// key. Concurrent starts are serialised through a lock file beside the socket, so exactly one
// of them wins.
class SingleInstance
{
public:
    explicit SingleInstance(const QString &name = singleInstanceName());
    ~SingleInstance();

    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when this process now owns the segment (it is the first instance).
    bool tryCreate();
    bool isFirst() const { return m_first; }
    // Gives the segment up; a later start becomes the first instance again.
    void release();

    // The second instance's whole life: connects to the first instance's local server, writes
    // the byte "0", flushes and quits 1000 ms later. When the server cannot be reached it quits
    // at once. Runs the application's event loop and returns its exit code (0).
    static int pokeFirstInstance(const QString &name = singleInstanceName());

private:
    enum class Segment
    {
        Live,
        Orphaned,
        Foreign
    };
    Segment segmentState();
    void renewKey();
    void removeOrphan();
    // A new segment object; with create, it tries to create the segment.
    bool createSegment(bool create);

    QString m_name;
    std::unique_ptr<QSharedMemory> m_memory;
    bool m_first = false;
};

// The first instance's side of the channel: a QLocalServer (child of owner) listening on
// name. Every accepted connection that brings data calls onPoke in owner's context (the main
// window connects showAndActivateWindow()); the bytes are not read. A disconnected socket is
// closed and deleted later. When listening fails the debug line "local server listen failed"
// is written and the (not listening) server is returned all the same.
QLocalServer *startLocalServer(QObject *owner, std::function<void()> onPoke,
                               const QString &name = singleInstanceName());
