#pragma once

#include <QString>

// Full path of the running executable. Works before the application object exists.
QString executableFilePath();

// The application directory: the folder holding the executable (no trailing separator).
QString applicationDirectory();

// The user's temporary directory in native separators, ending in a separator.
QString temporaryDirectory();

// The program that plays a device video, started as "player" "http://ip:port/path".
// Windows: the first existing of the two Windows Media Player paths ("(x86)" first).
// Elsewhere: the first of mpv, vlc, xdg-open found in PATH. Empty when there is none.
QString mediaPlayerPath();

// The aria2 program: the one in the application directory when present, else (outside
// Windows) the one in PATH. When neither exists, the application-directory path, which then
// simply fails to start.
QString aria2Path();
