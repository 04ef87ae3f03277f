#include "platform/settingsstore.h"

#include <QSettings>

QSettings *openSettingsStore(QObject *parent)
{
#if defined(Q_OS_WIN)
    return new QSettings(
        QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Vantor Network\\Tovrik\\client"),
        QSettings::NativeFormat, parent);
#else
    auto *store = new QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                QStringLiteral("Vantor Network"), QStringLiteral("Tovrik"), parent);
    store->beginGroup(QStringLiteral("client"));
    return store;
#endif
}
