#include "platform/systeminfo.h"

#include <QtGlobal>

#if defined(Q_OS_WIN)
#include <QSettings>
#endif

bool isWindowsXP()
{
#if defined(Q_OS_WIN)
    const QSettings key(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion"),
        QSettings::NativeFormat);
    return key.value(QStringLiteral("ProductName")).toString().contains(QLatin1String("XP"));
#else
    return false;
#endif
}
