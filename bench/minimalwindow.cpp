// The reference of bench/startup.sh: the least a Qt program does before a window is on screen.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("登录"));
    label.resize(330, 360);
    label.show();
    return app.exec();
}
