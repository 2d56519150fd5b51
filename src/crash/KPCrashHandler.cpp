#include "crash/KPCrashHandler.h"

#include "platform/KPAppPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <array>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array kFatalSignals{SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr std::size_t kPathCapacity = 4096;
constexpr int kMaxFrames = 64;

// Filled by install(); read only by the handler.
struct HandlerState
{
    char reportPath[kPathCapacity] = {};
    char partialPath[kPathCapacity] = {};
    char version[128] = {};
    // The installation prefix ("/home/user/.local" for ".../bin/touchpiano"), with its final
    // slash, and the program's path below it: a report names files relative to the prefix,
    // so the user's name in a home folder never leaves the machine.
    char prefix[kPathCapacity] = {};
    char program[kPathCapacity] = {};
    const void* programBase = nullptr;
    std::array<struct sigaction, kFatalSignals.size()> previous = {};
};
HandlerState g_state;

// A stack of its own, so a stack overflow can still be reported.
alignas(16) char g_alternateStack[64 * 1024];

const char* signalName(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "?";
    }
}

void writeText(int fd, const char* text)
{
    std::size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0)
            return;
        text += written;
        left -= std::size_t(written);
    }
}

void writeNumber(int fd, unsigned long long value, unsigned base = 10)
{
    char digits[32];
    std::size_t at = sizeof digits;
    digits[--at] = '\0';
    do {
        digits[--at] = "0123456789abcdef"[value % base];
        value /= base;
    } while (value > 0 && at > 0);
    writeText(fd, digits + at);
}

// The object's file: the program or a file below the prefix relative to the prefix, any other
// by its name alone.
const char* objectName(const Dl_info& object)
{
    if (object.dli_fbase == g_state.programBase)
        return g_state.program;
    const char* path = object.dli_fname ? object.dli_fname : "";
    const std::size_t prefixLength = std::strlen(g_state.prefix);
    if (prefixLength > 0 && std::strncmp(path, g_state.prefix, prefixLength) == 0)
        return path + prefixLength;
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

// "object(symbol+0xoffset) [0xaddress]", or "object(+0xoffset)" from the object's start when
// the symbol is unknown.
void writeFrame(int fd, void* address)
{
    Dl_info object{};
    if (::dladdr(address, &object) != 0) {
        writeText(fd, objectName(object));
        writeText(fd, "(");
        const bool named = object.dli_sname && object.dli_saddr;
        if (named)
            writeText(fd, object.dli_sname);
        const auto from = reinterpret_cast<uintptr_t>(named ? object.dli_saddr : object.dli_fbase);
        writeText(fd, "+0x");
        writeNumber(fd, reinterpret_cast<uintptr_t>(address) - from, 16);
        writeText(fd, ") ");
    }
    writeText(fd, "[0x");
    writeNumber(fd, reinterpret_cast<uintptr_t>(address), 16);
    writeText(fd, "]\n");
}

void writeReport(int signal, const siginfo_t* info)
{
    const int fd = ::open(g_state.partialPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    writeText(fd, "signal: ");
    writeNumber(fd, unsigned(signal));
    writeText(fd, " (");
    writeText(fd, signalName(signal));
    writeText(fd, ")\nversion: ");
    writeText(fd, g_state.version);
    writeText(fd, "\ntime: ");
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    writeNumber(fd, static_cast<unsigned long long>(now.tv_sec));
    // Only a fault the kernel raised has an address; a signal sent by kill() has none.
    if (info && info->si_code > 0 && (signal == SIGSEGV || signal == SIGBUS)) {
        writeText(fd, "\naddress: 0x");
        writeNumber(fd, reinterpret_cast<unsigned long long>(info->si_addr), 16);
    }
    writeText(fd, "\nbacktrace:\n");
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    for (int i = 0; i < count; ++i)
        writeFrame(fd, frames[i]);
    ::close(fd);
    ::rename(g_state.partialPath, g_state.reportPath);
}

void onFatalSignal(int signal, siginfo_t* info, void*)
{
    writeReport(signal, info);
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i)
        if (kFatalSignals[i] == signal)
            ::sigaction(signal, &g_state.previous[i], nullptr);
    // Still blocked while we run: delivered with the restored action as soon as we return.
    // A fault re-executes its instruction on return and ends the same way.
    ::raise(signal);
}

bool copyInto(char* target, std::size_t capacity, const QByteArray& text)
{
    if (std::size_t(text.size()) >= capacity)
        return false;
    std::memcpy(target, text.constData(), std::size_t(text.size()) + 1);
    return true;
}

} // namespace

bool KPCrashHandler::install(const QString& folder, const QString& version)
{
    if (!KPAppPaths::makePrivateFolder(folder)) {
        qWarning("KPCrashHandler: Could not create %s", qPrintable(folder));
        return false;
    }
    const QString base = QDir(folder).filePath(
        QStringLiteral("%1-%2").arg(QDateTime::currentSecsSinceEpoch()).arg(::getpid()));
    if (!copyInto(g_state.reportPath, kPathCapacity,
                  QFile::encodeName(base + QStringLiteral(".crash"))) ||
        !copyInto(g_state.partialPath, kPathCapacity,
                  QFile::encodeName(base + QStringLiteral(".partial"))) ||
        !copyInto(g_state.version, sizeof g_state.version, version.toUtf8())) {
        qWarning("KPCrashHandler: Report path or version too long");
        return false;
    }
    // Installed, the program is <prefix>/bin/touchpiano.
    const QFileInfo program(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath());
    QString prefix = QDir::cleanPath(program.absolutePath() + QStringLiteral("/.."));
    if (!prefix.endsWith(QLatin1Char('/')))
        prefix += QLatin1Char('/');
    if (!copyInto(g_state.prefix, kPathCapacity, QFile::encodeName(prefix)) ||
        !copyInto(g_state.program, kPathCapacity,
                  QFile::encodeName(program.absoluteFilePath().mid(prefix.size())))) {
        qWarning("KPCrashHandler: Program path too long");
        return false;
    }
    Dl_info self{};
    if (::dladdr(reinterpret_cast<void*>(&onFatalSignal), &self) != 0)
        g_state.programBase = self.dli_fbase;
    // The first backtrace() and dladdr() load the unwinder and the symbol tables, which
    // allocates: do it now, not at the crash.
    void* frame = nullptr;
    backtrace(&frame, 1);
    ::dladdr(frame, &self);

    stack_t stack{};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action
    {
    };
    action.sa_sigaction = onFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // While one report is written, another fatal signal waits (or, for a fault, kills at once).
    sigemptyset(&action.sa_mask);
    for (const int signal : kFatalSignals)
        sigaddset(&action.sa_mask, signal);
    bool installed = true;
    for (std::size_t i = 0; i < kFatalSignals.size(); ++i) {
        struct sigaction previous
        {
        };
        if (::sigaction(kFatalSignals[i], &action, &previous) != 0) {
            qWarning("KPCrashHandler: Could not handle %s", signalName(kFatalSignals[i]));
            installed = false;
            continue;
        }
        // Installing twice must not make our own handler the one we chain to.
        if (previous.sa_sigaction != onFatalSignal)
            g_state.previous[i] = previous;
    }
    return installed;
}

QString KPCrashHandler::reportPattern()
{
    return QStringLiteral("*.crash");
}
