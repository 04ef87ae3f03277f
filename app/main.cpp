#include "app/extensions.h"
#include "app/mainwidget.h"
#include "app/networkmanager.h"
#include "app/qttranslations.h"
#include "platform/appdirs.h"
#include "platform/crashhandler.h"
#include "platform/quitsignals.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

int main(int argc, char *argv[])
{
    armCrashReports(crashReportDirectory(), executableFilePath());

    // QtWebEngine shares its contexts with the widgets only when told before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // On dense screens the window keeps its size and takes the @2x pictures.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);

    // Before the segment exists: a signal that comes once it does must find the handler, or the
    // segment would be left behind for the next start to recover.
    quitOnTerminationSignals();
    SingleInstance instance;
    if (!instance.tryCreate())
        return SingleInstance::pokeFirstInstance();

    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationDisplayName(QApplication::tr("Kelvora"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installQtTranslations(&app);

    networkManager();
    // On a first run the folder does not exist yet: the working directory stays as it is.
    QDir::setCurrent(QDir::homePath() + QStringLiteral("/kelvora"));
    fillExtensionSets();

    auto *window = new MainWidget;
    const int result = app.exec();
    delete window;
    instance.release();
    return result;
}
