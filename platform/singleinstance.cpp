#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <memory>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <sys/ipc.h>
#include <sys/shm.h>
#endif

namespace {

// Serialises the create-or-recover decision between processes starting at the same moment.
// QLockFile itself recognises a lock left by a dead process.
class StartLock
{
public:
    explicit StartLock(const QString &name)
        : m_lock(QDir::temp().filePath(name + QStringLiteral(".lock")))
    {
        m_lock.setStaleLockTime(0);
        if (!m_lock.tryLock(10000))
            qDebug("single instance lock unavailable: %d", int(m_lock.error()));
    }
    ~StartLock() { m_lock.unlock(); }

private:
    QLockFile m_lock;
};

} // namespace

QString singleInstanceName()
{
    return QStringLiteral("qm-kelvora-client");
}

SingleInstance::SingleInstance(const QString &name) : m_name(name), m_memory(name) {}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::tryCreate()
{
    if (m_first)
        return true;
    StartLock lock(m_name);
    if (m_memory.create(1, QSharedMemory::ReadWrite))
        return m_first = true;
    if (m_memory.error() != QSharedMemory::AlreadyExists) {
        qDebug("single instance segment: %s", qPrintable(m_memory.errorString()));
        return false;
    }
    if (!segmentIsOrphaned())
        return false;
    // The previous owner died without releasing: drop its segment and socket file and take over.
    if (m_memory.attach())
        m_memory.detach();
    QLocalServer::removeServer(m_name);
    if (m_memory.create(1, QSharedMemory::ReadWrite))
        return m_first = true;
    qDebug("single instance takeover failed: %s", qPrintable(m_memory.errorString()));
    return false;
}

bool SingleInstance::segmentIsOrphaned()
{
#if defined(Q_OS_UNIX)
    // A live owner stays attached; the kernel detaches a process that dies. Asking the local
    // server instead would mistake a first instance that is still starting for a dead one.
    const QByteArray keyFile = QFile::encodeName(m_memory.nativeKey());
    const key_t key = ::ftok(keyFile.constData(), 'Q');
    if (key == -1)
        return true;
    const int id = ::shmget(key, 0, 0);
    if (id == -1)
        return errno == ENOENT;
    struct shmid_ds info;
    if (::shmctl(id, IPC_STAT, &info) != 0)
        return false;
    return info.shm_nattch == 0;
#else
    // Elsewhere the system releases the segment together with its last process.
    return false;
#endif
}

void SingleInstance::release()
{
    if (!m_first)
        return;
    StartLock lock(m_name);
    m_memory.detach();
    m_first = false;
}

int SingleInstance::pokeFirstInstance(const QString &name)
{
    QCoreApplication *app = QCoreApplication::instance();
    auto *socket = new QLocalSocket(app);
    auto reached = std::make_shared<bool>(false);
    QObject::connect(socket, &QLocalSocket::connected, socket, [socket, reached, app] {
        *reached = true;
        socket->write("0", 1);
        socket->flush();
        QTimer::singleShot(1000, app, &QCoreApplication::quit);
    });
    QObject::connect(socket, &QLocalSocket::errorOccurred, socket,
                     [reached, app](QLocalSocket::LocalSocketError error) {
                         if (*reached)
                             return;
                         qDebug("first instance unreachable: %d", int(error));
                         // May fire inside connectToServer, before the event loop runs.
                         QMetaObject::invokeMethod(app, &QCoreApplication::quit,
                                                   Qt::QueuedConnection);
                     });
    // A first instance that accepts nothing must not keep this process alive either.
    QTimer::singleShot(1000, app, [reached, app] {
        if (!*reached) {
            qDebug("first instance unreachable: timeout");
            app->quit();
        }
    });
    socket->connectToServer(name, QIODevice::ReadWrite);
    return QCoreApplication::exec();
}

QLocalServer *startLocalServer(QObject *owner, std::function<void()> onPoke, const QString &name)
{
    auto *server = new QLocalServer(owner);
    QObject::connect(server, &QLocalServer::newConnection, server, [server, owner, onPoke] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::readyRead, owner, onPoke);
            QObject::connect(socket, &QLocalSocket::disconnected, socket, [socket] {
                socket->close();
                socket->deleteLater();
            });
        }
    });
    bool listening = server->listen(name);
    if (!listening && server->serverError() == QAbstractSocket::AddressInUseError) {
        // Only the owner of the segment starts a server, so a socket file left here is stale.
        QLocalServer::removeServer(name);
        listening = server->listen(name);
    }
    if (!listening)
        qDebug("local server listen failed");
    return server;
}
