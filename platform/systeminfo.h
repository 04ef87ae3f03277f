#pragma once

// True on Windows XP: the registry value ProductName under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion contains "XP"
// (case-sensitive). Always false elsewhere.
bool isWindowsXP();
