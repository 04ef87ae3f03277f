#include "tests/e2e/devtools.h"

#include "tests/support/httpsync.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QUrl>

bool DevToolsPage::attach(int port, const QRegularExpression &address)
{
    socket.abort();
    buffer.clear();
    HttpSync http(5000);
    const QJsonArray targets =
        QJsonDocument::fromJson(
            http.get(QUrl(QStringLiteral("http://127.0.0.1:%1/json/list").arg(port))).body)
            .array();
    QUrl endpoint;
    for (const QJsonValue &t : targets) {
        const QJsonObject target = t.toObject();
        if (target.value(QLatin1String("type")).toString() == QLatin1String("page") &&
            address.match(target.value(QLatin1String("url")).toString()).hasMatch()) {
            endpoint = QUrl(target.value(QLatin1String("webSocketDebuggerUrl")).toString());
            break;
        }
    }
    if (!endpoint.isValid()) {
        error = QStringLiteral("no page matches %1").arg(address.pattern());
        return false;
    }

    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(endpoint.port()));
    if (!socket.waitForConnected(5000)) {
        error = socket.errorString();
        return false;
    }
    QByteArray nonce(16, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(nonce.data()), 4);
    socket.write("GET " + endpoint.path(QUrl::FullyEncoded).toLatin1() +
                 " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(endpoint.port()) +
                 "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " +
                 nonce.toBase64() + "\r\nSec-WebSocket-Version: 13\r\n\r\n");
    QDeadlineTimer deadline(5000);
    while (!buffer.contains("\r\n\r\n")) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            error = QStringLiteral("no WebSocket handshake");
            socket.abort();
            return false;
        }
        buffer += socket.readAll();
    }
    const int end = buffer.indexOf("\r\n\r\n") + 4;
    const bool upgraded = buffer.startsWith("HTTP/1.1 101");
    buffer.remove(0, end);
    if (!upgraded) {
        error = QStringLiteral("WebSocket handshake refused");
        socket.abort();
    }
    return upgraded;
}

QJsonValue DevToolsPage::evaluate(const QString &expression, int timeoutMs)
{
    const QJsonObject reply =
        send(QStringLiteral("Runtime.evaluate"),
             {{"expression", expression}, {"returnByValue", true}}, timeoutMs);
    const QJsonObject result = reply.value(QLatin1String("result")).toObject();
    if (result.contains(QLatin1String("exceptionDetails"))) {
        error = QString::fromUtf8(
            QJsonDocument(result.value(QLatin1String("exceptionDetails")).toObject()).toJson());
        return QJsonValue(QJsonValue::Undefined);
    }
    return result.value(QLatin1String("result")).toObject().value(QLatin1String("value"));
}

bool DevToolsPage::click(const QPointF &at, const QString &button)
{
    for (const char *type : {"mouseMoved", "mousePressed", "mouseReleased"}) {
        QJsonObject params{{"type", QLatin1String(type)}, {"x", at.x()}, {"y", at.y()}};
        if (qstrcmp(type, "mouseMoved") != 0) {
            params.insert(QStringLiteral("button"), button);
            params.insert(QStringLiteral("clickCount"), 1);
        }
        if (!send(QStringLiteral("Input.dispatchMouseEvent"), params, 10000)
                 .contains(QLatin1String("result")))
            return false;
    }
    return true;
}

QJsonObject DevToolsPage::send(const QString &method, const QJsonObject &params, int timeoutMs)
{
    if (!isAttached()) {
        error = QStringLiteral("not attached");
        return {};
    }
    const int id = nextId++;
    const QJsonObject message{{"id", id}, {"method", method}, {"params", params}};
    if (!writeFrame(1, QJsonDocument(message).toJson(QJsonDocument::Compact)))
        return {};
    QDeadlineTimer deadline(timeoutMs);
    QByteArray text;
    // Events (none are enabled, but the protocol allows them) are skipped.
    while (readMessage(&text, deadline)) {
        const QJsonObject answer = QJsonDocument::fromJson(text).object();
        if (answer.value(QLatin1String("id")).toInt() == id) {
            if (answer.contains(QLatin1String("error")))
                error = QString::fromUtf8(text);
            return answer;
        }
    }
    return {};
}

bool DevToolsPage::writeFrame(int opcode, const QByteArray &payload)
{
    QByteArray frame;
    frame += char(0x80 | opcode);
    const qint64 n = payload.size();
    if (n < 126) {
        frame += char(0x80 | n);
    } else if (n < 65536) {
        frame += char(0x80 | 126);
        frame += char(n >> 8);
        frame += char(n & 0xff);
    } else {
        frame += char(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += char((n >> shift) & 0xff);
    }
    // A client masks every frame it sends.
    const quint32 mask = QRandomGenerator::global()->generate();
    const char *m = reinterpret_cast<const char *>(&mask);
    frame.append(m, 4);
    for (qint64 i = 0; i < n; ++i)
        frame += char(payload.at(int(i)) ^ m[i % 4]);
    if (socket.write(frame) != frame.size() || !socket.waitForBytesWritten(5000)) {
        error = QStringLiteral("cannot write to DevTools");
        return false;
    }
    return true;
}

bool DevToolsPage::fill(int bytes, QDeadlineTimer &deadline)
{
    while (buffer.size() < bytes) {
        if (socket.bytesAvailable() == 0 &&
            (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime())))) {
            error = QStringLiteral("DevTools did not answer in time");
            return false;
        }
        buffer += socket.readAll();
    }
    return true;
}

bool DevToolsPage::readMessage(QByteArray *message, QDeadlineTimer &deadline)
{
    message->clear();
    while (true) {
        if (!fill(2, deadline))
            return false;
        const bool final = buffer.at(0) & 0x80;
        const int opcode = buffer.at(0) & 0x0f;
        qint64 length = buffer.at(1) & 0x7f;
        int header = 2;
        if (length == 126) {
            if (!fill(4, deadline))
                return false;
            length = (quint8(buffer.at(2)) << 8) | quint8(buffer.at(3));
            header = 4;
        } else if (length == 127) {
            if (!fill(10, deadline))
                return false;
            length = 0;
            for (int i = 2; i < 10; ++i)
                length = (length << 8) | quint8(buffer.at(i));
            header = 10;
        }
        if (!fill(header + int(length), deadline))
            return false;
        const QByteArray payload = buffer.mid(header, int(length));
        buffer.remove(0, header + int(length));
        if (opcode == 0x8) {
            error = QStringLiteral("DevTools closed the connection");
            socket.abort();
            return false;
        }
        if (opcode == 0x1 || opcode == 0x0)
            *message += payload;
        if (final && (opcode == 0x1 || opcode == 0x0))
            return true;
    }
}
