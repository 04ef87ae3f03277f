#include "platform/singleinstance.h"

#include "platform/appdirs.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <memory>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>
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

QString singleInstanceDirectory()
{
#if defined(Q_OS_UNIX)
    // $XDG_RUNTIME_DIR is the session's and not ours to tighten: taken only as it should be.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime)) {
        const QFileInfo info(runtime);
        if (info.isDir() && !info.isSymLink() && info.ownerId() == ::geteuid() &&
            (info.permissions() &
             (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
              QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther)) == 0)
            return QDir::cleanPath(runtime);
    }
    const QString shared = QDir::tempPath() + QStringLiteral("/kelvora-%1").arg(::geteuid());
    if (ensurePrivateDirectory(shared))
        return shared;
    const QString own = QDir::homePath() + QStringLiteral("/.cache/kelvora-run");
    if (ensurePrivateDirectory(own, true))
        return own;
    qDebug("no private folder for the single instance");
    return shared;
#else
    return QString();
#endif
}

QString singleInstanceName()
{
#if defined(Q_OS_UNIX)
    return singleInstanceDirectory() + QStringLiteral("/qm-kelvora-client");
#else
    return QStringLiteral("qm-kelvora-client");
#endif
}

SingleInstance::SingleInstance(const QString &name) : m_name(name)
{
    createSegment(false);
}

bool SingleInstance::createSegment(bool create)
{
    // A fresh object for each try: after a failed create() one with a native key keeps
    // failing ("unable to set key on lock").
    m_memory = std::make_unique<QSharedMemory>();
    // A full path names its own key file (a SysV key comes from the file's inode); a plain
    // name keeps Qt's key, which on Unix lives in the shared temporary directory.
    if (QDir::isAbsolutePath(m_name))
        m_memory->setNativeKey(m_name + QStringLiteral(".key"));
    else
        m_memory->setKey(m_name);
    return create && m_memory->create(1, QSharedMemory::ReadWrite);
}

SingleInstance::~SingleInstance()
{
    release();
}

bool SingleInstance::tryCreate()
{
    if (m_first)
        return true;
    StartLock lock(m_name);
    if (createSegment(true))
        return m_first = true;
    if (m_memory->error() != QSharedMemory::AlreadyExists) {
        qDebug("single instance segment: %s", qPrintable(m_memory->errorString()));
        return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {
        switch (segmentState()) {
        case Segment::Live:
            return false;
        case Segment::Foreign:
            qDebug("single instance key held by another user: new key");
            renewKey();
            break;
        case Segment::Orphaned:
            // The previous owner died without releasing: drop its segment and socket file.
            removeOrphan();
            QLocalServer::removeServer(m_name);
            break;
        }
        if (createSegment(true))
            return m_first = true;
        if (m_memory->error() != QSharedMemory::AlreadyExists)
            break;
    }
    qDebug("single instance takeover failed: %s", qPrintable(m_memory->errorString()));
    return false;
}

SingleInstance::Segment SingleInstance::segmentState()
{
#if defined(Q_OS_UNIX)
    // A live owner stays attached; the kernel detaches a process that dies. Asking the local
    // server instead would mistake a first instance that is still starting for a dead one.
    const QByteArray keyFile = QFile::encodeName(m_memory->nativeKey());
    const key_t key = ::ftok(keyFile.constData(), 'Q');
    if (key == -1)
        return Segment::Orphaned;
    const int id = ::shmget(key, 0, 0);
    if (id == -1)
        return errno == EACCES ? Segment::Foreign : Segment::Orphaned;
    struct shmid_ds info;
    if (::shmctl(id, IPC_STAT, &info) != 0)
        return errno == EACCES ? Segment::Foreign : Segment::Live;
    if (info.shm_perm.uid != ::geteuid())
        return Segment::Foreign;
    return info.shm_nattch == 0 ? Segment::Orphaned : Segment::Live;
#else
    // Elsewhere the system releases the segment together with its last process.
    return Segment::Live;
#endif
}

void SingleInstance::removeOrphan()
{
#if defined(Q_OS_UNIX)
    // Directly: QSharedMemory::attach() refuses a native key (it has no lock to take).
    const key_t key = ::ftok(QFile::encodeName(m_memory->nativeKey()).constData(), 'Q');
    const int id = key == -1 ? -1 : ::shmget(key, 0, 0);
    if (id != -1)
        ::shmctl(id, IPC_RMID, nullptr);
#endif
}

void SingleInstance::renewKey()
{
    // The old file is kept until the new one exists, so the new one gets another inode.
    const QString key = m_memory->nativeKey();
    const QString old = key + QStringLiteral(".old");
    QFile::remove(old);
    QFile::rename(key, old);
    QFile created(key);
    if (created.open(QIODevice::WriteOnly))
        created.close();
    QFile::remove(old);
}

void SingleInstance::release()
{
    if (!m_first)
        return;
    StartLock lock(m_name);
    m_memory->detach();
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
