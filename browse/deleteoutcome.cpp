#include "browse/deleteoutcome.h"

#include "browse/filepaths.h"
#include "device/jsonnumbers.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QSet>

namespace {

int resultCode(const QJsonValue &value)
{
    if (value.isString()) {
        bool ok = false;
        const int code = value.toString().trimmed().toInt(&ok, 10);
        return ok ? code : -1;
    }
    if (value.isDouble() && JsonNumbers::toInt(value) == value.toDouble())
        return JsonNumbers::toInt(value);
    return -1;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("FileListWidget", text);
}

} // namespace

DeleteOutcome DeleteOutcome::parse(const QByteArray &body)
{
    DeleteOutcome outcome;
    const DeviceReply reply = DeviceReply::parse(body);
    outcome.status = reply.status;
    outcome.rtn = reply.rtn;
    if (!reply.ok())
        return outcome;
    const QJsonArray list = reply.object.value(QLatin1String("resultlist")).toArray();
    for (const QJsonValue &value : list) {
        const QJsonObject element = value.toObject();
        Result result;
        result.path = element.value(QLatin1String("path")).toString();
        result.result = resultCode(element.value(QLatin1String("result")));
        outcome.results.append(result);
    }
    return outcome;
}

DeleteOutcome DeleteOutcome::evaluate(const QByteArray &body, const QStringList &sentPaths)
{
    DeleteOutcome outcome = parse(body);
    if (outcome.status == DeviceReply::NotObject || outcome.status == DeviceReply::NoRtn)
        return outcome;
    if (outcome.status == DeviceReply::Failed) {
        outcome.messages.append({0, tr("删除文件失败: %1").arg(outcome.rtn)});
        return outcome;
    }
    const QSet<QString> sent(sentPaths.cbegin(), sentPaths.cend());
    QSet<QString> removed;
    for (const Result &result : qAsConst(outcome.results)) {
        QString path = result.path;
        if (!sent.contains(path))
            path = FilePaths::decode(result.path);
        if (!sent.contains(path)) {
            outcome.reload = true;
            continue;
        }
        const QString name = FilePaths::fileName(path);
        switch (result.result) {
        case 0:
            outcome.messages.append({1, tr("删除 %1 成功").arg(name)});
            if (!removed.contains(path)) {
                removed.insert(path);
                outcome.removed.append(path);
            }
            break;
        case 1:
            outcome.messages.append({0, tr("删除 %1 失败").arg(name)});
            break;
        case 2:
            outcome.messages.append({0, tr("文件 %1 不存在").arg(name)});
            break;
        case 3:
            outcome.messages.append({0, tr("没有权限删除 %1").arg(name)});
            break;
        default:
            break;
        }
    }
    if (outcome.reload)
        outcome.messages.append({1, tr("删除完成")});
    return outcome;
}
