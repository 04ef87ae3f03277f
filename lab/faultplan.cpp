#include "lab/faultplan.h"

#include <QJsonArray>

#include <chrono>
#include <thread>

void Faults::sleepDelay() const
{
    if (delayMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
}

namespace {

QStringList listOf(const QJsonValue &v)
{
    QStringList out;
    if (v.isArray()) {
        for (const QJsonValue &e : v.toArray())
            out << e.toString().trimmed();
    } else {
        for (const QString &s : v.toString().split(QLatin1Char(','), Qt::SkipEmptyParts))
            out << s.trimmed();
    }
    out.removeAll(QString());
    return out;
}

bool intOf(const QJsonValue &v, qint64 *out)
{
    if (v.isDouble()) {
        *out = static_cast<qint64>(v.toDouble());
        return true;
    }
    bool ok = false;
    *out = v.toString().toLongLong(&ok);
    return ok;
}

} // namespace

bool FaultPlan::parse(const QJsonObject &o, Faults *f, QString *error)
{
    static const QStringList known = {"delay_ms",     "drop_after", "json", "rtn", "ret",
                                      "login_result", "bandwidth",  "only", "opts"};
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!known.contains(it.key())) {
            *error = QStringLiteral("unknown fault: %1").arg(it.key());
            return false;
        }
        const QString key = it.key();
        if (key == QLatin1String("only")) {
            f->only = listOf(it.value());
            continue;
        }
        if (key == QLatin1String("opts")) {
            f->opts = listOf(it.value());
            continue;
        }
        if (key == QLatin1String("json")) {
            f->json = it.value().toString();
            if (!f->json.isEmpty() && f->json != QLatin1String("malformed") &&
                f->json != QLatin1String("truncated")) {
                *error = QStringLiteral("json fault must be malformed or truncated");
                return false;
            }
            continue;
        }
        qint64 n = 0;
        if (!intOf(it.value(), &n)) {
            *error = QStringLiteral("fault %1 needs a number").arg(key);
            return false;
        }
        if (key == QLatin1String("delay_ms"))
            f->delayMs = static_cast<int>(qBound<qint64>(0, n, 600000));
        else if (key == QLatin1String("drop_after"))
            f->dropAfter = n;
        else if (key == QLatin1String("rtn"))
            f->hasRtn = true, f->rtn = static_cast<int>(n);
        else if (key == QLatin1String("ret"))
            f->hasRet = true, f->ret = static_cast<int>(n);
        else if (key == QLatin1String("login_result"))
            f->hasLoginResult = true, f->loginResult = static_cast<int>(n);
        else if (key == QLatin1String("bandwidth"))
            f->bandwidth = qMax<qint64>(0, n);
    }
    return true;
}

bool FaultPlan::setJson(const QJsonObject &o, QString *error)
{
    Faults f;
    if (!parse(o, &f, error))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = f;
    json_ = o;
    return true;
}

bool FaultPlan::setOption(const QString &keyValue, QString *error)
{
    const int eq = keyValue.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        *error = QStringLiteral("a fault is KEY=VALUE: %1").arg(keyValue);
        return false;
    }
    QJsonObject o = json();
    const QString key = keyValue.left(eq);
    const QString value = keyValue.mid(eq + 1);
    bool isNumber = false;
    const qint64 n = value.toLongLong(&isNumber);
    if (isNumber)
        o.insert(key, static_cast<double>(n));
    else
        o.insert(key, value);
    return setJson(o, error);
}

QJsonObject FaultPlan::json() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return json_;
}

Faults FaultPlan::at(const QString &place, const QString &opt) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!faults_.only.isEmpty() && !faults_.only.contains(place))
        return Faults();
    if (!faults_.opts.isEmpty() && !faults_.opts.contains(opt))
        return Faults();
    return faults_;
}
