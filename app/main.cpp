#include "app/extensions.h"
#include "app/networkmanager.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    networkManager();
    fillExtensionSets();
    return 0;
}
