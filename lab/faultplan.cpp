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

bool numberOf(const QJsonValue &v, qint64 *out)
{
    if (v.isDouble()) {
        *out = static_cast<qint64>(v.toDouble());
        return true;
    }
    bool ok = false;
    *out = v.toString().toLongLong(&ok);
    return ok;
}

bool flagOf(const QJsonValue &v)
{
    if (v.isBool())
        return v.toBool();
    if (v.isDouble())
        return v.toDouble() != 0;
    const QString s = v.toString().toLower();
    return s == QLatin1String("true") || s == QLatin1String("1") || s == QLatin1String("yes");
}

QString malformedOf(const QJsonValue &v)
{
    if (v.isBool() || v.isDouble())
        return flagOf(v) ? QStringLiteral("truncated") : QString();
    const QString s = v.toString();
    if (s == QLatin1String("true"))
        return QStringLiteral("truncated");
    if (s == QLatin1String("false"))
        return QString();
    return s;
}

bool applies(const QJsonObject &set, const QString &service, const QString &opt)
{
    const QStringList only = listOf(set.value(QLatin1String("only")));
    const QStringList opts = listOf(set.value(QLatin1String("opts")));
    return (only.isEmpty() || only.contains(service)) && (opts.isEmpty() || opts.contains(opt));
}

void apply(const QJsonObject &set, Faults *f)
{
    qint64 n = 0;
    for (auto it = set.begin(); it != set.end(); ++it) {
        const QString &k = it.key();
        if (k == QLatin1String("delay_ms") && numberOf(*it, &n))
            f->delayMs = static_cast<int>(qBound<qint64>(0, n, 600000));
        else if (k == QLatin1String("drop_after_bytes") && numberOf(*it, &n))
            f->dropAfterBytes = n;
        else if (k == QLatin1String("malformed_json"))
            f->malformedJson = malformedOf(*it);
        else if (k == QLatin1String("rtn") && numberOf(*it, &n))
            f->hasRtn = true, f->rtn = static_cast<int>(n);
        else if (k == QLatin1String("ret") && numberOf(*it, &n))
            f->hasRet = true, f->ret = static_cast<int>(n);
        else if (k == QLatin1String("force_code") && numberOf(*it, &n))
            f->hasForceCode = true, f->forceCode = static_cast<int>(n);
        else if (k == QLatin1String("rate_limit_bytes_per_s") && numberOf(*it, &n))
            f->rateLimit = qMax<qint64>(0, n);
        else if (k == QLatin1String("ignore_range"))
            f->ignoreRange = flagOf(*it);
        else if (k == QLatin1String("offline"))
            f->offline = flagOf(*it);
    }
}

} // namespace

const QStringList &FaultPlan::keys()
{
    static const QStringList k = {
        "delay_ms",   "drop_after_bytes",       "malformed_json", "rtn",     "ret",
        "force_code", "rate_limit_bytes_per_s", "ignore_range",   "offline", "only",
        "opts"};
    return k;
}

QJsonObject FaultPlan::sectionFaults(const QJsonObject &section)
{
    QJsonObject out = section.value(QLatin1String("faults")).toObject();
    for (const QString &k : keys())
        if (section.contains(k) && k != QLatin1String("only") && k != QLatin1String("opts"))
            out.insert(k, section.value(k));
    return out;
}

bool FaultPlan::validate(const QJsonObject &faults, QString *error)
{
    qint64 n = 0;
    for (auto it = faults.begin(); it != faults.end(); ++it) {
        const QString &k = it.key();
        if (!keys().contains(k)) {
            *error = QStringLiteral("unknown fault switch: %1").arg(k);
            return false;
        }
        const bool numeric = k == QLatin1String("delay_ms") ||
                             k == QLatin1String("drop_after_bytes") || k == QLatin1String("rtn") ||
                             k == QLatin1String("ret") || k == QLatin1String("force_code") ||
                             k == QLatin1String("rate_limit_bytes_per_s");
        if (numeric && !numberOf(*it, &n)) {
            *error = QStringLiteral("fault switch %1 needs a number").arg(k);
            return false;
        }
        if (k == QLatin1String("malformed_json")) {
            const QString m = malformedOf(*it);
            if (!m.isEmpty() && m != QLatin1String("truncated") &&
                m != QLatin1String("nonobject") && m != QLatin1String("garbage")) {
                *error = QStringLiteral("malformed_json is truncated, nonobject or garbage");
                return false;
            }
        }
    }
    return true;
}

bool FaultPlan::configure(const QString &scope, const QJsonObject &faults, QString *error)
{
    if (!validate(faults, error))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonObject &set = configured_[scope];
    for (auto it = faults.begin(); it != faults.end(); ++it)
        set.insert(it.key(), it.value());
    return true;
}

bool FaultPlan::setOption(const QString &option, QString *error)
{
    const int eq = option.indexOf(QLatin1Char('='));
    if (eq <= 0) {
        *error = QStringLiteral("a fault switch is [SCOPE:]KEY=VALUE: %1").arg(option);
        return false;
    }
    QString key = option.left(eq);
    QString scope = QStringLiteral("*");
    const int colon = key.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
        scope = key.left(colon);
        key = key.mid(colon + 1);
    }
    const QString value = option.mid(eq + 1);
    bool isNumber = false;
    const qint64 n = value.toLongLong(&isNumber);
    QJsonObject set;
    set.insert(key, isNumber ? QJsonValue(static_cast<double>(n)) : QJsonValue(value));
    return configure(scope, set, error);
}

bool FaultPlan::setRuntime(const QJsonObject &byScope, QString *error)
{
    QMap<QString, QJsonObject> fresh;
    for (auto it = byScope.begin(); it != byScope.end(); ++it) {
        if (!it.value().isObject()) {
            *error = QStringLiteral("scope %1 needs an object of switches").arg(it.key());
            return false;
        }
        if (!validate(it.value().toObject(), error))
            return false;
        fresh.insert(it.key(), it.value().toObject());
    }
    std::lock_guard<std::mutex> lock(mutex_);
    runtime_ = fresh;
    return true;
}

QJsonObject FaultPlan::runtime() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    QJsonObject out;
    for (auto it = runtime_.begin(); it != runtime_.end(); ++it)
        out.insert(it.key(), it.value());
    return out;
}

Faults FaultPlan::at(const QString &scope, const QString &service, const QString &opt) const
{
    Faults f;
    std::lock_guard<std::mutex> lock(mutex_);
    const QMap<QString, QJsonObject> *layers[] = {&configured_, &runtime_};
    for (const auto *layer : layers) {
        for (const QString &s : {QStringLiteral("*"), scope}) {
            const auto it = layer->constFind(s);
            if (it != layer->constEnd() && applies(*it, service, opt))
                apply(*it, &f);
        }
    }
    return f;
}
