#pragma once

#include <QString>

// Full path of the running executable. Works before the application object exists.
QString executableFilePath();

// The application directory: the folder holding the executable (no trailing separator).
QString applicationDirectory();

// The user's temporary directory in native separators, ending in a separator.
QString temporaryDirectory();

// The folder for crash reports, ending in a separator. Windows: the user's temporary directory
// followed by "kelvora\". Elsewhere the temporary directory is shared by every user, so the
// user's own state folder: $XDG_STATE_HOME/kelvora/crash/ ($XDG_STATE_HOME defaults to
// ~/.local/state).
QString crashReportDirectory();

// A folder only this user may enter. Missing, it is created 0700 (its missing parents too when
// parents is true, also 0700). Found, it must be a real folder (not a symbolic link) owned by
// this user; wider permissions are tightened to 0700. False when that cannot be had; nothing
// is then created or changed. On Windows the folder is only created when missing.
bool ensurePrivateDirectory(const QString &path, bool parents = false);

// The same for a file: created empty as 0600 when missing, never through a symbolic link;
// found, it must be a regular file owned by this user, tightened to 0600 when wider.
bool ensurePrivateFile(const QString &path);

// The program that plays a device video, started as "player" "http://ip:port/path".
// Windows: the first existing of the two Windows Media Player paths ("(x86)" first).
// Elsewhere: the first of mpv, vlc, xdg-open found in PATH. Empty when there is none.
QString mediaPlayerPath();

// The aria2 program: the one in the application directory when present, else (outside
// Windows) the one in PATH. When neither exists, the application-directory path, which then
// simply fails to start.
QString aria2Path();
