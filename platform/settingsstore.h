#pragma once

class QObject;
class QSettings;

// The program's settings store ("version", "settings/lastsavepath", "settings/curr_devid").
// Windows: the registry key HKEY_CURRENT_USER\SOFTWARE\Vantor Network\Tovrik\client.
// Elsewhere: the native settings file of organisation "Vantor Network", application
// "Tovrik", with every key under the group "client". The returned store is already inside
// that group, so callers use the keys as they are; they must not call endGroup() past it.
QSettings *openSettingsStore(QObject *parent);
