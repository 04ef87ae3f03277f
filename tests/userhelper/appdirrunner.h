#ifndef APPDIRRUNNER_H
#define APPDIRRUNNER_H

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// An application directory of its own for one run: a copy of the running test executable
// (the helper library looks for the component next to the executable, so it must be a real
// copy, not a link) and optionally a file placed as the component. run() starts the copy
// with QMUSER_TEST_CHILD=1 and one test function, keeping its standard output apart from
// the test log.
class AppDirRunner
{
public:
    struct Result
    {
        bool started = false;
        int exitCode = -1;
        QByteArray out; // everything the child wrote to its standard output
        QByteArray err;
        QString log; // the child's test log
    };

    static const char *componentFileName();

    AppDirRunner();
    bool isValid() const { return m_valid; }
    QString dir() const { return m_dir.path(); }
    QString componentPath() const;

    bool placeComponent(const QString &source);
    bool placeComponentBytes(const QByteArray &bytes);
    Result run(const QString &testFunction, const QStringList &extraEnvironment = {});

private:
    QTemporaryDir m_dir;
    QString m_executable;
    bool m_valid = false;
};

#endif // APPDIRRUNNER_H
