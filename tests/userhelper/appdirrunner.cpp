#include "appdirrunner.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>

const char *AppDirRunner::componentFileName()
{
    return "libQMUserS.so";
}

AppDirRunner::AppDirRunner()
{
    if (!m_dir.isValid())
        return;
    QString self = QCoreApplication::applicationFilePath();
    m_executable = m_dir.filePath(QFileInfo(self).fileName());
    m_valid = QFile::copy(self, m_executable);
}

QString AppDirRunner::componentPath() const
{
    return m_dir.filePath(QString::fromLatin1(componentFileName()));
}

bool AppDirRunner::placeComponent(const QString &source)
{
    QFile::remove(componentPath());
    return QFile::copy(source, componentPath());
}

bool AppDirRunner::placeComponentBytes(const QByteArray &bytes)
{
    QFile file(componentPath());
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

AppDirRunner::Result AppDirRunner::run(const QString &testFunction,
                                       const QStringList &extraEnvironment)
{
    Result result;
    // "function:tag" names one data row; the tag's colon stays out of the file name.
    QString logPath = m_dir.filePath(
        QString(testFunction).replace(QLatin1Char(':'), QLatin1Char('_')) + QStringLiteral(".log"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QMUSER_TEST_CHILD"), QStringLiteral("1"));
    for (const QString &pair : extraEnvironment) {
        int eq = pair.indexOf(QLatin1Char('='));
        env.insert(pair.left(eq), pair.mid(eq + 1));
    }
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_dir.path());
    process.start(m_executable,
                  {QStringLiteral("-o"), logPath + QStringLiteral(",txt"), testFunction});
    result.started = process.waitForStarted(60000);
    // Generous: only a hung child ever gets near it.
    if (result.started && !process.waitForFinished(180000)) {
        process.kill();
        process.waitForFinished(10000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    QFile log(logPath);
    if (log.open(QIODevice::ReadOnly))
        result.log = QString::fromUtf8(log.readAll());
    return result;
}
