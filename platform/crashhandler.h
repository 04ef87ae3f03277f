#pragma once

class QString;

// The entry points of the crash-report library, called once at start-up before anything else
// and in this order. No result needs to be examined; each returns 0.
//
// Here they arm a small local handler: on SIGSEGV, SIGABRT, SIGBUS, SIGFPE or SIGILL it writes
// a short report (product, version, executable, signal, backtrace) into the report directory,
// named "<product code>-crash-<time>-<pid>.txt" (a new file, never one that exists or a link),
// and then lets the signal take its default action. QM_InitBugHandler creates the report
// directory as a private folder (ensurePrivateDirectory); when it is not one (someone else's,
// a link) no report is written. The mode setters are recorded only; the local handler neither
// shows, sends nor restarts anything.

int QM_SetBugReportRootDir(const wchar_t *reportDir);
int QM_SetReportShowMode(int mode);
int QM_SetProcessWorkState(int state);
int QM_EnableReportAutoRestartApp(int enable, int flags);
int QM_SetAlwaysSendReport(int always);
int QM_SetContinueDefaultFilter(int continueFilter);
int QM_InitBugHandler(const wchar_t *productName, const wchar_t *executablePath,
                      const wchar_t *extra, const wchar_t *productCode, const wchar_t *version);

// The program's start-up: the seven calls above in their order, with the report directory,
// the executable's full path and the product's fixed name, code and version.
void armCrashReports(const QString &reportDir, const QString &executable);
