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

#include <csignal>
#include <cstdio>

namespace {

void quitOnSignal(int)
{
    QCoreApplication::quit();
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
                                       QStringLiteral("Configuration file (JSON)."),
                                       QStringLiteral("file"));
    const QCommandLineOption dataOpt(
        QStringLiteral("data"), QStringLiteral("Folder that relative folders resolve against."),
        QStringLiteral("dir"));
    const QCommandLineOption hostOpt(
        QStringLiteral("host"), QStringLiteral("Address to listen on."), QStringLiteral("addr"));
    const QCommandLineOption readyOpt(QStringLiteral("ready-file"),
                                      QStringLiteral("Write the ports taken here when ready."),
                                      QStringLiteral("file"));
    const QCommandLineOption faultOpt(QStringLiteral("fault"),
                                      QStringLiteral("Switch a fault on (KEY=VALUE)."),
                                      QStringLiteral("fault"));
    const QCommandLineOption sampleOpt(QStringLiteral("make-sample"),
                                       QStringLiteral("Write a sample configuration and its "
                                                      "content into a folder, then exit."),
                                       QStringLiteral("dir"));
    const QCommandLineOption quietOpt(QStringLiteral("quiet"),
                                      QStringLiteral("No request log on standard error."));
    parser.addOptions({configOpt, dataOpt, hostOpt, readyOpt, faultOpt, sampleOpt, quietOpt});
    parser.process(app);

    QByteArray configText;
    {
        QFile sample(QStringLiteral(":/lab/sample/lab.json"));
        sample.open(QIODevice::ReadOnly);
        configText = sample.readAll();
    }

    if (parser.isSet(sampleOpt)) {
        const QString dir = QDir(parser.value(sampleOpt)).absolutePath();
        LabConfig config;
        QString error;
        if (!QDir().mkpath(dir) || !config.load(configText, dir, &error))
            return fail(error.isEmpty() ? QStringLiteral("cannot create %1").arg(dir) : error);
        QJsonObject root = QJsonDocument::fromJson(configText).object();
        root.insert(QStringLiteral("data_dir"), dir);
        QSaveFile out(dir + QStringLiteral("/lab.json"));
        if (!out.open(QIODevice::WriteOnly) ||
            out.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) < 0 || !out.commit())
            return fail(QStringLiteral("cannot write %1/lab.json").arg(dir));
        if (!SampleContent::generateMissing(config, &error))
            return fail(error);
        std::printf("sample written to %s\n", qPrintable(dir));
        return 0;
    }

    LabConfig config;
    QString error;
    if (parser.isSet(configOpt)) {
        if (!config.loadFile(parser.value(configOpt), parser.value(dataOpt), &error))
            return fail(error);
    } else if (!config.load(configText, parser.value(dataOpt), &error)) {
        return fail(error);
    }
    if (parser.isSet(hostOpt))
        config.host = parser.value(hostOpt);
    LabHttp::setQuiet(parser.isSet(quietOpt));
    if (config.generateSample && !SampleContent::generateMissing(config, &error))
        return fail(error);

    Lab lab(config);
    for (const QString &f : parser.values(faultOpt))
        if (!lab.faults().setOption(f, &error))
            return fail(error);
    if (!lab.start(&error))
        return fail(error);
    // Faults from the command line win over the configuration's.
    for (const QString &f : parser.values(faultOpt))
        lab.faults().setOption(f, &error);

    const QByteArray ready = QJsonDocument(lab.readyInfo()).toJson(QJsonDocument::Compact);
    if (parser.isSet(readyOpt)) {
        QSaveFile out(parser.value(readyOpt));
        if (out.open(QIODevice::WriteOnly)) {
            out.write(ready + '\n');
            out.commit();
        }
    }
    std::printf("tovrik-lab ready %s\n", ready.constData());
    std::fflush(stdout);

    std::signal(SIGTERM, quitOnSignal);
    std::signal(SIGINT, quitOnSignal);
    const int rc = app.exec();
    lab.stop();
    return rc;
}
