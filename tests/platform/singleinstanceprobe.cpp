// Starts like the program does, without the main window: the single-instance steps of the
// entry point, then the local server that the main window would start. Prints its role and
// every poke on stdout; a first instance quits when its standard input closes.
// "--no-server" leaves the server out, like a first instance that is still starting.

#include "platform/singleinstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

static void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    SingleInstance instance;
    if (!instance.tryCreate()) {
        say("second");
        return SingleInstance::pokeFirstInstance();
    }
    if (!app.arguments().contains(QStringLiteral("--no-server")))
        startLocalServer(&app, [] { say("poked"); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input, &app] {
        char buffer[64];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            app.quit();
        }
    });
    say("first");
    const int result = app.exec();
    instance.release();
    say("released");
    return result;
}
