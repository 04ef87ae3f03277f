#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

// A program started to outlive the client, such as a video player: in a session of its own,
// with standard input and output on the null device, its arguments handed over one by one as
// given, never through a shell. The client watches it only to tell whether it failed at once
// (ended within earlyMs with a failure status or by a signal); after that it only collects the
// exit, so that no zombie stays behind. Neither this object nor the client's end stops it.
//
//     QString error;
//     DetachedProcess *player = DetachedProcess::start(program, {url}, this, &error);
//     if (!player)
//         ...; // could not be started at all: error says why
//     else
//         connect(player, &DetachedProcess::failedEarly, this, ...);
//
// On Windows the program is started with QProcess::startDetached and not watched.
class DetachedProcess : public QObject
{
    Q_OBJECT

public:
    static const int earlyMs = 3000;

    // Null when the program could not be started (missing, not executable, no resources).
    static DetachedProcess *start(const QString &program, const QStringList &arguments,
                                  QObject *parent, QString *error = nullptr);

    qint64 processId() const { return pid; }

signals:
    // The program ended within earlyMs with a non-zero status or by a signal.
    void failedEarly();
    // The program ended (whenever and however), seen by the watch; the object goes after it.
    void finished();

private:
    DetachedProcess(qint64 pid, QObject *parent);
    void poll();

    qint64 pid = 0;
    QElapsedTimer age;
    QTimer timer;
};
