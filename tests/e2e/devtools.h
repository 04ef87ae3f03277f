#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QPointF>
#include <QRegularExpression>
#include <QWebSocket>

// One page of the program's web views, seen and driven through Chromium's DevTools protocol
// (the program runs with QTWEBENGINE_REMOTE_DEBUGGING=127.0.0.1:<port>). Input goes through the
// browser's input pipeline as a user's would (trusted events at page coordinates).
class DevToolsPage
{
public:
    // Attaches to the first page whose address matches; false when none does right now.
    bool attach(int port, const QRegularExpression &address);
    // The value of a JavaScript expression in the page (JSON-able values only); undefined when
    // it threw or the page did not answer.
    QJsonValue evaluate(const QString &expression);
    // A press and release of a mouse button ("left", "right") at a point of the page.
    bool click(const QPointF &at, const QString &button = QStringLiteral("left"));
    QString lastError() const { return error; }

private:
    QJsonObject send(const QString &method, const QJsonObject &params);

    QWebSocket socket;
    int nextId = 1;
    QString error;
};
