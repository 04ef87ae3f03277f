// tovrik-lab: the stand-ins for everything outside the client (see lab/README.md).
#include "lab/lab.h"
#include "lab/labconfig.h"
#include "lab/labhttp.h"
#include "lab/samplecontent.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// Only a write happens in the handler; the event loop does the rest.
void quitOnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

int fail(const QString &message)
{
    std::fprintf(stderr, "tovrik-lab: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Pictures and posters are drawn without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tovrik-lab"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Stand-ins for the services around Kelvora."));
    parser.addHelpOption();
    const QCommandLineOption configOpt(QStringLiteral("config"),
                                       QStringLiteral("Run what this configuration names."),
                                       QStringLiteral("file"));
    const QCommandLineOption sampleOpt(QStringLiteral("sample"),
                                       QStringLiteral("Write a sample configuration and its "
                                                      "content into a folder, then exit."),
                                       QStringLiteral("dir"));
    const QCommandLineOption hostOpt(
        QStringLiteral("host"), QStringLiteral("Address to listen on."), QStringLiteral("addr"));
    const QCommandLineOption faultOpt(QStringLiteral("fault"),
                                      QStringLiteral("Switch a fault on: [SCOPE:]KEY=VALUE."),
                                      QStringLiteral("switch"));
    const QCommandLineOption readyOpt(QStringLiteral("ready-file"),
                                      QStringLiteral("Also write the ready object here."),
                                      QStringLiteral("file"));
    const QCommandLineOption quietOpt(QStringLiteral("quiet"),
                                      QStringLiteral("No request log on standard error."));
    const QCommandLineOption parentOpt(QStringLiteral("exit-with-parent"),
                                       QStringLiteral("Stop when the starting process ends."));
    parser.addOptions({configOpt, sampleOpt, hostOpt, faultOpt, readyOpt, quietOpt, parentOpt});
    parser.process(app);

    QString error;
    if (parser.isSet(sampleOpt)) {
        const QString dir = QDir(parser.value(sampleOpt)).absolutePath();
        QFile templ(QStringLiteral(":/lab/sample/lab.json"));
        templ.open(QIODevice::ReadOnly);
        const QByteArray text = templ.readAll();
        LabConfig config;
        if (!QDir().mkpath(dir))
            return fail(QStringLiteral("cannot create %1").arg(dir));
        if (!config.load(text, dir, &error))
            return fail(error);
        QSaveFile out(dir + QStringLiteral("/lab.json"));
        if (!out.open(QIODevice::WriteOnly) || out.write(text) < 0 || !out.commit())
            return fail(QStringLiteral("cannot write %1/lab.json").arg(dir));
        if (!SampleContent::generateMissing(config, &error))
            return fail(error);
        std::printf("sample written to %s\n", qPrintable(dir));
        return 0;
    }
    if (!parser.isSet(configOpt))
        return fail(QStringLiteral("give --config FILE, or --sample DIR to write one"));

    LabConfig config;
    if (!config.loadFile(parser.value(configOpt), &error))
        return fail(error);
    if (parser.isSet(hostOpt))
        config.host = parser.value(hostOpt);
    LabHttp::setQuiet(parser.isSet(quietOpt));
    if (config.generateSample && !SampleContent::generateMissing(config, &error))
        return fail(error);

    Lab lab(config);
    if (!lab.start(&error))
        return fail(error);
    // Switches from the command line come on top of the configuration's.
    for (const QString &f : parser.values(faultOpt))
        if (!lab.faults().setOption(f, &error))
            return fail(error);

    const QByteArray ready = QJsonDocument(lab.readyInfo()).toJson(QJsonDocument::Compact);
    if (parser.isSet(readyOpt)) {
        QSaveFile out(parser.value(readyOpt));
        if (out.open(QIODevice::WriteOnly)) {
            out.write(ready + '\n');
            out.commit();
        }
    }
    std::printf("LAB READY %s\n", ready.constData());
    std::fflush(stdout);

    if (::pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
        std::signal(SIGTERM, quitOnSignal);
        std::signal(SIGINT, quitOnSignal);
    }
    if (parser.isSet(parentOpt)) {
        // A test that dies before it can stop its lab must not leave the lab running.
        const pid_t parent = ::getppid();
        auto *watch = new QTimer(&app);
        QObject::connect(watch, &QTimer::timeout, &app, [parent] {
            if (::getppid() != parent)
                QCoreApplication::quit();
        });
        watch->start(500);
    }
    const int rc = app.exec();
    lab.stop();
    return rc;
}
