#include "ports/port_holders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

namespace quarn {

namespace {

// The lock file name QSerialPort uses: /dev/ stripped, '/' turned into '_'.
QString lockName(QString path) {
    if (path.startsWith(QLatin1String("/dev/"))) path.remove(0, 5);
    return QLatin1String("LCK..") + path.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QString holderText(qint64 pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly)
                             ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                             : QString();
    if (name.isEmpty()) return QStringLiteral("in use (pid %1)").arg(pid);
    return QStringLiteral("in use by %1 (pid %2)").arg(name).arg(pid);
}

// The state a lock file for path tells, empty when there is none or it is stale.
QString lockState(const QString& path) {
    for (const char* dir : {"/var/lock", "/run/lock", "/tmp"}) {
        QFile lock(QLatin1String(dir) + QLatin1Char('/') + lockName(path));
        if (!lock.open(QIODevice::ReadOnly)) continue;
        const QByteArray data = lock.read(128);
        bool ok = false;
        qint64 pid = data.split('\n').value(0).trimmed().toLongLong(&ok);
        if (!ok && data.size() == 4) {  // binary UUCP lock
            qint32 binary = 0;
            std::memcpy(&binary, data.constData(), 4);
            pid = binary;
            ok = true;
        }
        if (!ok || pid <= 0) return QStringLiteral("in use (lock file %1)").arg(lock.fileName());
        if (QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid))) return holderText(pid);
    }
    return QString();
}

// Which process holds each of targets (canonical paths) open, from /proc/*/fd.
// *hidden: some process's descriptors could not be read (another user's).
QHash<QString, qint64> openers(const QSet<QString>& targets, bool* hidden) {
    QHash<QString, qint64> found;
    DIR* proc = ::opendir("/proc");
    *hidden = proc == nullptr;
    if (!proc) return found;
    while (dirent* entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (!fds) {
            if (errno == EACCES || errno == EPERM) *hidden = true;
            continue;
        }
        while (dirent* fd = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((fdDir + '/' + fd->d_name).c_str(), target, sizeof target);
            if (n <= 0) continue;
            const QString path = QString::fromLocal8Bit(target, n);
            if (targets.contains(path) && !found.contains(path))
                found.insert(path, std::stoll(pid));
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

// Whether path can be opened exclusively: not when another program holds it
// with TIOCEXCL (EBUSY) or flock. Asked only when holders are not visible.
bool heldUnseen(const QString& path) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == EBUSY;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return locked;
}

}  // namespace

QStringList portStates(const QStringList& devices) {
    QStringList states;
    QStringList paths;
    QSet<QString> unlocked;
    for (const QString& device : devices) {
        const QString path = QFileInfo(device).canonicalFilePath();
        paths << path;
        if (path.isEmpty()) {
            states << QStringLiteral("missing");
        } else if (::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK,
                               AT_EACCESS) != 0) {
            states << QStringLiteral("not permitted");
        } else {
            QString lock = lockState(device);
            if (lock.isEmpty() && path != device) lock = lockState(path);
            if (lock.isEmpty()) unlocked.insert(path);
            states << lock;
        }
    }
    bool hidden = false;
    const QHash<QString, qint64> held =
        unlocked.isEmpty() ? QHash<QString, qint64>() : openers(unlocked, &hidden);
    for (qsizetype i = 0; i < states.size(); ++i) {
        if (!states[i].isEmpty()) continue;
        if (held.contains(paths[i]))
            states[i] = holderText(held.value(paths[i]));
        else if (hidden && heldUnseen(paths[i]))
            states[i] = QStringLiteral("in use (holder not visible)");
        else
            states[i] = QStringLiteral("free");
    }
    return states;
}

}  // namespace quarn
