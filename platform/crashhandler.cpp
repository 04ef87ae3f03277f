#include "platform/crashhandler.h"

#include "platform/appdirs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <string>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// Everything the signal handler reads is prepared here beforehand: it may neither allocate nor
// convert strings.
struct Settings
{
    char reportPrefix[4096] = {}; // "<dir>/<code>-crash-"
    char product[256] = {};
    char version[64] = {};
    char executable[4096] = {};
    int showMode = 0;
    int workState = 0;
    int autoRestart = 0;
    int autoRestartFlags = 0;
    int alwaysSend = 0;
    int continueFilter = 0;
};

Settings settings;
QString reportDirectory;

QString fromWide(const wchar_t *text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

// The mode setters only record their value.
int keep(int &field, int value)
{
    field = value;
    return 0;
}

void copyText(char *target, size_t size, const QByteArray &text)
{
    const size_t n = qMin(size - 1, size_t(text.size()));
    memcpy(target, text.constData(), n);
    target[n] = '\0';
}

#if defined(Q_OS_UNIX)

const int fatalSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

const char *signalName(int sig)
{
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    }
    return "unknown";
}

// Async-signal-safe string building into a fixed buffer.
struct Line
{
    char text[4400];
    size_t length = 0;

    Line &add(const char *s)
    {
        while (*s && length + 1 < sizeof text)
            text[length++] = *s++;
        text[length] = '\0';
        return *this;
    }
    Line &add(long long value)
    {
        char digits[24];
        int n = 0;
        const bool negative = value < 0;
        unsigned long long v = negative ? 0ULL - (unsigned long long)value : value;
        do {
            digits[n++] = char('0' + v % 10);
            v /= 10;
        } while (v);
        if (negative)
            add("-");
        char one[2] = {0, 0};
        while (n) {
            one[0] = digits[--n];
            add(one);
        }
        return *this;
    }
};

void writeAll(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        data += n;
        size -= size_t(n);
    }
}

// A new file only: an existing name, or a link planted under it, is never written through.
int createReport()
{
    if (!settings.reportPrefix[0])
        return -1;
    for (int attempt = 0; attempt < 8; ++attempt) {
        Line path;
        path.add(settings.reportPrefix)
            .add((long long)::time(nullptr))
            .add("-")
            .add((long long)::getpid());
        if (attempt > 0)
            path.add("-").add((long long)attempt);
        path.add(".txt");
        const int fd =
            ::open(path.text, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

void onFatalSignal(int sig)
{
    const int savedErrno = errno;
    const int fd = createReport();
    if (fd >= 0) {
        Line head;
        head.add("product: ").add(settings.product).add("\nversion: ").add(settings.version);
        head.add("\nexecutable: ").add(settings.executable);
        head.add("\nsignal: ").add(signalName(sig)).add(" (").add((long long)sig).add(")");
        head.add("\npid: ").add((long long)::getpid()).add("\nbacktrace:\n");
        writeAll(fd, head.text, head.length);
        void *frames[64];
        const int count = ::backtrace(frames, 64);
        ::backtrace_symbols_fd(frames, count, fd);
        ::close(fd);
    }
    errno = savedErrno;
    // SA_RESETHAND restored the default action; the signal is blocked until we return, so the
    // process ends with it right after this handler.
    ::raise(sig);
}

void installHandler()
{
    // A stack overflow leaves no stack to run the handler on.
    static char *alternateStack = nullptr;
    if (!alternateStack) {
        const size_t size = 256 * 1024;
        alternateStack = static_cast<char *>(::malloc(size));
        if (alternateStack) {
            stack_t stack;
            memset(&stack, 0, sizeof stack);
            stack.ss_sp = alternateStack;
            stack.ss_size = size;
            ::sigaltstack(&stack, nullptr);
        }
    }
    // The first backtrace() loads the unwinder, which allocates: do it now, not in the handler.
    void *frames[2];
    ::backtrace(frames, 2);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onFatalSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (int sig : fatalSignals)
        ::sigaction(sig, &action, nullptr);
}

#endif

} // namespace

int QM_SetBugReportRootDir(const wchar_t *reportDir)
{
    reportDirectory = fromWide(reportDir);
    return 0;
}

int QM_SetReportShowMode(int mode)
{
    return keep(settings.showMode, mode);
}

int QM_SetProcessWorkState(int state)
{
    return keep(settings.workState, state);
}

int QM_EnableReportAutoRestartApp(int enable, int flags)
{
    keep(settings.autoRestart, enable);
    return keep(settings.autoRestartFlags, flags);
}

int QM_SetAlwaysSendReport(int always)
{
    return keep(settings.alwaysSend, always);
}

int QM_SetContinueDefaultFilter(int continueFilter)
{
    return keep(settings.continueFilter, continueFilter);
}

int QM_InitBugHandler(const wchar_t *productName, const wchar_t *executablePath,
                      const wchar_t *extra, const wchar_t *productCode, const wchar_t *version)
{
    QString dir = reportDirectory;
    if (dir.isEmpty())
        dir = crashReportDirectory();
    dir = QDir::fromNativeSeparators(dir);
    // Reports hold paths and memory contents: only in a folder of this user's own.
    const bool usable = ensurePrivateDirectory(dir, true);
    if (!usable)
        qDebug("crash reports off: %s is not a private folder", qPrintable(dir));
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    QString code = fromWide(productCode);
    if (code.isEmpty())
        code = QStringLiteral("crash");
    copyText(settings.reportPrefix, sizeof settings.reportPrefix,
             usable ? QFile::encodeName(dir + code + QStringLiteral("-crash-")) : QByteArray());
    copyText(settings.product, sizeof settings.product, fromWide(productName).toUtf8());
    copyText(settings.version, sizeof settings.version, fromWide(version).toUtf8());
    copyText(settings.executable, sizeof settings.executable, fromWide(executablePath).toUtf8());
#if defined(Q_OS_UNIX)
    installHandler();
#endif
    return 0;
}

void armCrashReports(const QString &reportDir, const QString &executable)
{
    const std::wstring dir = reportDir.toStdWString();
    const std::wstring path = executable.toStdWString();
    QM_SetBugReportRootDir(dir.c_str());
    QM_SetReportShowMode(0);
    QM_SetProcessWorkState(0);
    QM_EnableReportAutoRestartApp(1, 0);
    QM_SetAlwaysSendReport(1);
    QM_SetContinueDefaultFilter(0);
    QM_InitBugHandler(L"Kelvora", path.c_str(), L"", L"kelvora", L"0.0.1");
}
