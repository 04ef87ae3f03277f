#ifndef KELVORA_TEST_DEVICETESTHOST_H
#define KELVORA_TEST_DEVICETESTHOST_H

#include "device/devicehost.h"

#include <QNetworkReply>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <QWidget>

// A loopback port with nobody listening.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Qt's complaints about a reply whose error was reported twice ("Internal problem"), recorded
// from the first call on.
inline QStringList &doubleErrorReports()
{
    static QStringList reports;
    static QtMessageHandler previous = nullptr;
    static const bool installed = [] {
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &context, const QString &text) {
                if (text.contains(QLatin1String("Internal problem")))
                    reports.append(text);
                previous(type, context, text);
            });
        return true;
    }();
    Q_UNUSED(installed)
    return reports;
}

// Stands in for the main window in the device tests: it counts network errors and can be
// given a user and a current device.
class DeviceTestHost : public QObject
{
    Q_OBJECT

public:
    DeviceTestHost()
    {
        DeviceHost::setErrorReceiver(this);
        DeviceHost::setWindow(&window);
        DeviceHost::setUserSource([this]() { return user; });
        DeviceHost::setCurrentDeviceSource([this]() { return current; });
        window.resize(400, 300);
    }
    ~DeviceTestHost() override { DeviceHost::reset(); }

    void signIn(quint64 userId, const QString &name, const QString &session)
    {
        user.signedIn = true;
        user.userId = userId;
        user.userName = name;
        user.sessionId = session;
    }

    DeviceUser user;
    DeviceItem *current = nullptr;
    QWidget window;
    QList<QNetworkReply::NetworkError> errors;

public slots:
    void networkError(QNetworkReply::NetworkError code) { errors.append(code); }
};

#endif
