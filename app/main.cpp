#include "app/extensions.h"
#include "app/mainwidget.h"
#include "app/networkmanager.h"
#include "platform/appdirs.h"
#include "platform/crashhandler.h"
#include "platform/singleinstance.h"

#include <QApplication>
#include <QDir>
#include <QLocale>

#include <string>

int main(int argc, char *argv[])
{
    const std::wstring executable = executableFilePath().toStdWString();
    const std::wstring reportDir =
        (temporaryDirectory() + QStringLiteral("kelvora") + QDir::separator()).toStdWString();

    QM_SetBugReportRootDir(reportDir.c_str());
    QM_SetReportShowMode(0);
    QM_SetProcessWorkState(0);
    QM_EnableReportAutoRestartApp(1, 0);
    QM_SetAlwaysSendReport(1);
    QM_SetContinueDefaultFilter(0);
    QM_InitBugHandler(L"Kelvora", executable.c_str(), L"", L"kelvora", L"0.0.1");

    // QtWebEngine shares its contexts with the widgets only when told before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);

    SingleInstance instance;
    if (!instance.tryCreate())
        return SingleInstance::pokeFirstInstance();

    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setApplicationDisplayName(QApplication::tr("Kelvora"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

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
