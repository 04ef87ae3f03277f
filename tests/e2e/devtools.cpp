#include "tests/e2e/devtools.h"

#include "tests/support/httpsync.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QTimer>

bool DevToolsPage::attach(int port, const QRegularExpression &address)
{
    socket.abort();
    const QUrl list(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port));
    for (const QJsonValue &t : QJsonDocument::fromJson(HttpSync(5000).get(list).body).array()) {
        const QJsonObject target = t.toObject();
        if (target.value("type").toString() != QLatin1String("page") ||
            !address.match(target.value("url").toString()).hasMatch())
            continue;
        QEventLoop loop;
        QObject::connect(&socket, &QWebSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(&socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        socket.open(QUrl(target.value("webSocketDebuggerUrl").toString()));
        loop.exec();
        error = socket.errorString();
        return socket.state() == QAbstractSocket::ConnectedState;
    }
    error = QStringLiteral("no page matches %1").arg(address.pattern());
    return false;
}

QJsonValue DevToolsPage::evaluate(const QString &expression)
{
    const QJsonObject result = send(QStringLiteral("Runtime.evaluate"),
                                    {{"expression", expression}, {"returnByValue", true}})
                                   .value("result")
                                   .toObject();
    if (result.contains("exceptionDetails")) {
        error =
            QString::fromUtf8(QJsonDocument(result.value("exceptionDetails").toObject()).toJson());
        return QJsonValue(QJsonValue::Undefined);
    }
    return result.value("result").toObject().value("value");
}

bool DevToolsPage::click(const QPointF &at, const QString &button)
{
    for (const char *type : {"mouseMoved", "mousePressed", "mouseReleased"}) {
        QJsonObject params{{"type", type}, {"x", at.x()}, {"y", at.y()}};
        if (qstrcmp(type, "mouseMoved") != 0) {
            params.insert("button", button);
            params.insert("clickCount", 1);
        }
        if (!send(QStringLiteral("Input.dispatchMouseEvent"), params).contains("result"))
            return false;
    }
    return true;
}

// Events (none are enabled, but the protocol allows them) are skipped.
QJsonObject DevToolsPage::send(const QString &method, const QJsonObject &params)
{
    if (socket.state() != QAbstractSocket::ConnectedState) {
        error = QStringLiteral("not attached");
        return {};
    }
    const int id = nextId++;
    QJsonObject answer;
    QEventLoop loop;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, &loop, [&](const QString &text) {
        const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
        if (message.value("id").toInt() == id) {
            answer = message;
            loop.quit();
        }
    });
    QObject::connect(&socket, &QWebSocket::disconnected, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    socket.sendTextMessage(QString::fromUtf8(
        QJsonDocument(QJsonObject{{"id", id}, {"method", method}, {"params", params}})
            .toJson(QJsonDocument::Compact)));
    loop.exec();
    if (answer.isEmpty() || answer.contains("error"))
        error = answer.isEmpty() ? QStringLiteral("DevTools did not answer in time")
                                 : QString::fromUtf8(QJsonDocument(answer).toJson());
    return answer;
}
