#include "platform/detachedprocess.h"

#include <QFile>
#include <QProcess>

#if !defined(Q_OS_WIN)
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;
#endif

namespace {

const int earlyPollMs = 100;
const int latePollMs = 2000;

} // namespace

DetachedProcess::DetachedProcess(qint64 pid, QObject *parent) : QObject(parent), pid(pid)
{
    age.start();
    connect(&timer, &QTimer::timeout, this, &DetachedProcess::poll);
#if !defined(Q_OS_WIN)
    timer.start(earlyPollMs);
#endif
}

DetachedProcess *DetachedProcess::start(const QString &program, const QStringList &arguments,
                                        QObject *parent, QString *error)
{
#if defined(Q_OS_WIN)
    qint64 pid = 0;
    if (!QProcess::startDetached(program, arguments, QString(), &pid)) {
        if (error)
            *error = QStringLiteral("cannot start %1").arg(program);
        return nullptr;
    }
    return new DetachedProcess(pid, parent);
#else
    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &argument : arguments)
        storage.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &bytes : storage)
        argv.push_back(bytes.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    // Nothing of the client's (sockets, the database) stays open in the player.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Signals the client blocks or ignores are the player's own business again.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attributes, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
#if defined(POSIX_SPAWN_SETSID)
    // A session of its own: a hang-up or Ctrl+C meant for the client does not reach it.
    flags |= POSIX_SPAWN_SETSID;
#endif
    posix_spawnattr_setflags(&attributes, flags);

    pid_t pid = 0;
    const int result = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(result));
        return nullptr;
    }
    return new DetachedProcess(pid, parent);
#endif
}

void DetachedProcess::poll()
{
#if !defined(Q_OS_WIN)
    int status = 0;
    const pid_t ended = ::waitpid(pid_t(pid), &status, WNOHANG);
    // Early until a look after earlyMs still finds it running: a late look on a busy event
    // loop does not turn a quick failure into a late one.
    const bool early = timer.interval() == earlyPollMs;
    if (ended == 0) {
        if (early && age.elapsed() >= earlyMs)
            timer.start(latePollMs);
        return;
    }
    timer.stop();
    // -1: collected by someone else; then how it ended is unknown and nothing is reported.
    if (ended == pid_t(pid) && early &&
        (WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0)))
        emit failedEarly();
    emit finished();
    deleteLater();
#endif
}
