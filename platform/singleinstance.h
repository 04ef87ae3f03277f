#pragma once

#include <QSharedMemory>
#include <QString>

#include <functional>

class QLocalServer;
class QObject;

// The name of the single-instance segment and of the first instance's local server.
QString singleInstanceName();

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
// stale socket file and becomes the first instance. Concurrent starts are serialised through a
// lock file beside the socket, so exactly one of them wins.
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
    bool segmentIsOrphaned();

    QString m_name;
    QSharedMemory m_memory;
    bool m_first = false;
};

// The first instance's side of the channel: a QLocalServer (child of owner) listening on
// name. Every accepted connection that brings data calls onPoke in owner's context (the main
// window connects showAndActivateWindow()); the bytes are not read. A disconnected socket is
// closed and deleted later. When listening fails the debug line "local server listen failed"
// is written and the (not listening) server is returned all the same.
QLocalServer *startLocalServer(QObject *owner, std::function<void()> onPoke,
                               const QString &name = singleInstanceName());
