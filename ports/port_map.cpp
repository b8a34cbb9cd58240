#include "ports/port_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSerialPortInfo>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "core/message_box.h"
#include "core/paths.h"

namespace quarn {

namespace {

const QString kUnnumbered = QStringLiteral("ports/unnumbered");

QString comKey(int com) { return QStringLiteral("ports/COM%1").arg(com); }

QString nameOf(const PortRecord& port) {
    return port.stableName.isEmpty() ? port.device : port.stableName;
}

QString canonical(const QString& path) { return QFileInfo(path).canonicalFilePath(); }

// ttyS2 before ttyS10: the trailing number compares as a number.
bool deviceLess(const QString& a, const QString& b) {
    auto split = [](const QString& s) {
        qsizetype i = s.size();
        while (i > 0 && s.at(i - 1).isDigit()) --i;
        return std::make_pair(s.left(i), s.mid(i).toLongLong());
    };
    return split(a) < split(b);
}

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

// Why the settings file could not be written, from the system's codes.
QString unwritableReason(const QString& file) {
    const QByteArray dir = QFile::encodeName(QFileInfo(file).absolutePath());
    struct statvfs fs {};
    if (::faccessat(AT_FDCWD, dir.constData(), W_OK, AT_EACCESS) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (::statvfs(dir.constData(), &fs) == 0 && (fs.f_flag & ST_RDONLY))
        return QString::fromLocal8Bit(std::strerror(EROFS));
    if (::statvfs(dir.constData(), &fs) == 0 && fs.f_bavail == 0)
        return QString::fromLocal8Bit(std::strerror(ENOSPC));
    return QStringLiteral("QSettings status %1").arg(int(QSettings::AccessError));
}

}  // namespace

QString saveSettings(QSettings& settings) {
    settings.sync();
    if (settings.status() == QSettings::NoError) return QString();
    return QStringLiteral("the settings file %1 could not be written: %2")
        .arg(settings.fileName(), unwritableReason(settings.fileName()));
}

void saveNumberedPorts(QSettings& settings) {
    const QString problem = saveSettings(settings);
    if (problem.isEmpty()) return;
    // Said once per file: every COM number resolved would say it again.
    static QMutex mutex;
    static QSet<QString> told;
    const QMutexLocker lock(&mutex);
    if (told.contains(settings.fileName())) return;
    told.insert(settings.fileName());
    std::fprintf(stderr, "%s\n", qPrintable(problem));
    addBoxNote(problem[0].toUpper() + problem.mid(1) + QLatin1Char('.'));
}

QString stableNameFor(const QString& device, const QString& serialRoot) {
    const QString target = canonical(device);
    if (target.isEmpty()) return device;
    for (const char* kind : {"by-id", "by-path"}) {
        const QDir dir(serialRoot + QLatin1Char('/') + QLatin1String(kind));
        const auto links =
            dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& link : links)
            if (link.canonicalFilePath() == target) return link.absoluteFilePath();
    }
    return device;
}

QList<PortRecord> discoverPorts() {
    QList<PortRecord> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortRecord port;
        port.device = info.systemLocation();
        port.stableName = stableNameFor(port.device);
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        port.hasUsbIds = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        const QString name = info.portName();
        port.onBoard = !info.hasVendorIdentifier() && !name.startsWith(QLatin1String("ttyUSB")) &&
                       !name.startsWith(QLatin1String("ttyACM"));
        ports << port;
    }
    return ports;
}

QString portSettingsPath() { return quarn::settingsFilePath(); }

QString portSettingsProblem(const QSettings& settings) {
    // QSettings parses a section when it is first read, and reports a format
    // error only to the object that parsed it: later objects on the same file
    // share Qt's parsed copy and report none. So parse everything now, and
    // remember damaged files (as they were: size and time) for this process.
    static QMutex mutex;
    static QHash<QString, QString> damaged;
    settings.allKeys();
    QSettings::Status status = settings.status();
    const QFileInfo file(settings.fileName());
    const QString stamp =
        QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
    {
        const QMutexLocker lock(&mutex);
        if (status == QSettings::FormatError)
            damaged.insert(file.filePath(), stamp);
        else if (damaged.value(file.filePath()) == stamp)
            status = QSettings::FormatError;
    }
    const QString keep = QStringLiteral("; it was left as it is: fix or remove it");
    if (status != QSettings::NoError)
        return QStringLiteral("the settings file %1 is %2%3")
            .arg(settings.fileName(),
                 status == QSettings::FormatError ? QStringLiteral("damaged (not INI)")
                                                  : QStringLiteral("not readable"),
                 keep);
    for (int com = 1; com <= kComCount; ++com) {
        const QVariant value = settings.value(comKey(com));
        if (!value.isValid()) continue;
        if (value.typeId() != QMetaType::QString ||
            !(value.toString().isEmpty() || value.toString().startsWith(QLatin1Char('/'))))
            return QStringLiteral("the settings file %1 has a COM%2 that is no device path%3")
                .arg(settings.fileName())
                .arg(com)
                .arg(keep);
    }
    return QString();
}

QStringList portStates(const QStringList& devices) {
    QStringList states;
    QStringList paths;
    QSet<QString> unlocked;
    for (const QString& device : devices) {
        const QString path = canonical(device);
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

QString comFromEnvironment(int com) {
    if (com < 1 || com > kComCount) return QString();
    return qEnvironmentVariable(qPrintable(QStringLiteral("QUARN_COM%1").arg(com)));
}

PortMap::PortMap(PortSettings& settings, QList<PortRecord> ports)
    : settings_(settings.store()), ports_(std::move(ports)) {
    std::stable_sort(ports_.begin(), ports_.end(), [](const PortRecord& a, const PortRecord& b) {
        return deviceLess(a.device, b.device);
    });
}

QString PortMap::stored(int com) const { return settings_.value(comKey(com)).toString(); }

const PortRecord* PortMap::portNamed(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    for (const PortRecord& port : ports_)
        if (name == port.stableName || name == port.device) return &port;
    const QString target = canonical(name);
    if (target.isEmpty()) return nullptr;
    for (const PortRecord& port : ports_)
        if (canonical(port.device) == target) return &port;
    return nullptr;
}

const PortRecord* PortMap::portFor(int com) const { return portNamed(stored(com)); }

int PortMap::comOf(const PortRecord& port) const {
    for (int com = 1; com <= kComCount; ++com) {
        const PortRecord* mapped = portFor(com);
        if (mapped && mapped->device == port.device) return com;
    }
    return 0;
}

QList<int> PortMap::numberNewPorts() {
    const QStringList unnumbered = settings_.value(kUnnumbered).toStringList();
    QList<const PortRecord*> fresh;
    for (const PortRecord& port : ports_)
        if (comOf(port) == 0 && !unnumbered.contains(nameOf(port))) fresh << &port;
    std::stable_sort(fresh.begin(), fresh.end(), [](const PortRecord* a, const PortRecord* b) {
        if (a->onBoard != b->onBoard) return a->onBoard;
        return deviceLess(a->device, b->device);
    });
    QList<int> given;
    for (const PortRecord* port : fresh) {
        int com = 1;
        while (com <= kComCount && !stored(com).isEmpty()) ++com;
        if (com > kComCount) break;
        settings_.setValue(comKey(com), nameOf(*port));
        given << com;
    }
    return given;
}

QString PortMap::resolve(int com, QString* why) const {
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return QString();
    };
    if (com < 1 || com > kComCount)
        return fail(QStringLiteral("COM%1 is not a port number: use COM1 to COM%2")
                        .arg(com)
                        .arg(kComCount));
    const QString env = comFromEnvironment(com);
    if (!env.isEmpty()) return env;
    const QString name = stored(com);
    if (name.isEmpty())
        return fail(
            QStringLiteral("nothing is assigned to COM%1; %2").arg(com).arg(machineSummary()));
    if (const PortRecord* port = portNamed(name)) return port->device;
    if (QFileInfo::exists(name)) return name;  // a device discovery does not list, e.g. a pty link
    return fail(QStringLiteral("COM%1 is assigned to %2, which is not plugged in; %3")
                    .arg(com)
                    .arg(name, machineSummary()));
}

bool PortMap::assign(int com, const QString& device, QString* message) {
    auto say = [message](const QString& text, bool ok) {
        if (message) *message = text;
        return ok;
    };
    if (com < 1 || com > kComCount)
        return say(
            QStringLiteral("COM%1 is not a port number: use COM1 to COM%2").arg(com).arg(kComCount),
            false);
    QStringList unnumbered = settings_.value(kUnnumbered).toStringList();
    if (device.isEmpty()) {
        const QString old = stored(com);
        if (old.isEmpty()) return say(QStringLiteral("COM%1 was not assigned").arg(com), true);
        const PortRecord* port = portFor(com);
        if (port && !unnumbered.contains(nameOf(*port))) {  // keep it from taking a number again
            unnumbered << nameOf(*port);
            settings_.setValue(kUnnumbered, unnumbered);
        }
        settings_.remove(comKey(com));
        return say(QStringLiteral("COM%1 removed (was %2)").arg(com).arg(old), true);
    }
    const PortRecord* port = portNamed(device);
    QString name;
    if (port)
        name = nameOf(*port);
    else if (QFileInfo::exists(device))
        name = QFileInfo(device).absoluteFilePath();
    else
        return say(QStringLiteral("no such device: %1; %2").arg(device, machineSummary()), false);
    QString moved;
    for (int other = 1; other <= kComCount; ++other) {
        const QString value = stored(other);
        if (other == com || value.isEmpty()) continue;
        if (value == name || (port && portNamed(value) == port)) {
            settings_.remove(comKey(other));
            moved = QStringLiteral(", no longer COM%1").arg(other);
        }
    }
    if (unnumbered.removeAll(name) > 0) {
        if (unnumbered.isEmpty())
            settings_.remove(kUnnumbered);
        else
            settings_.setValue(kUnnumbered, unnumbered);
    }
    settings_.setValue(comKey(com), name);
    const QString now = port && port->device != name ? " (" + port->device + ")" : QString();
    return say(QStringLiteral("COM%1 = %2%3%4").arg(com).arg(name, now, moved), true);
}

QString PortMap::machineSummary() const {
    if (ports_.isEmpty()) return QStringLiteral("this machine has no serial ports");
    QStringList names;
    for (const PortRecord& port : ports_)
        names << (port.description.isEmpty()
                      ? port.device
                      : QStringLiteral("%1 (%2)").arg(port.device, port.description));
    return QStringLiteral("this machine has: ") + names.join(QLatin1String(", "));
}

QString resolveComDevice(int com, QString* why) {
    const QString named = comFromEnvironment(com);
    if (!named.isEmpty()) return named;
    PortSettings settings;
    if (!settings.usable()) {
        if (why) *why = settings.problem();
        return QString();
    }
    PortMap map(settings, discoverPorts());
    if (!map.numberNewPorts().isEmpty()) saveNumberedPorts(settings.store());
    return map.resolve(com, why);
}

}  // namespace quarn
