#include "tests/support/process_figures.h"

#include <time.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>

namespace testsupport {

namespace {
QString procPath(qint64 pid, const char* what) {
    const QString self = pid ? QString::number(pid) : QStringLiteral("self");
    return QStringLiteral("/proc/%1/%2").arg(self, QLatin1String(what));
}

qint64 statusKb(qint64 pid, const char* key) {
    QFile f(procPath(pid, "status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
}  // namespace

double cpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

qint64 residentKb(qint64 pid) { return statusKb(pid, "VmRSS"); }

qint64 peakKb(qint64 pid) { return statusKb(pid, "VmHWM"); }

double cpuSecondsOf(qint64 pid) {
    QFile f(procPath(pid, "stat"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    // After the command's closing parenthesis: utime and stime are fields 12 and 13.
    const QByteArray text = f.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return 0;
    return (fields[11].toDouble() + fields[12].toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

int openDescriptors(qint64 pid) {
    return static_cast<int>(QDir(procPath(pid, "fd"))
                                .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                                .size());
}

}  // namespace testsupport
