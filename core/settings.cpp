#include "core/settings.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSettings>
#include <cerrno>
#include <cstring>

#include "core/paths.h"

namespace quarn {

namespace {

using K = SettingKey;

// The one list. The README's table of the settings file says the same, row
// for row (tests/core/test_settings.cpp compares them).
const QList<SettingEntry>& entries() {
    static const QList<SettingEntry> list = {
        {K::Com1, "ports/COM1", "",
         "the port COM1 opens: its by-id link, else its by-path link, else its device path", true},
        {K::Com2, "ports/COM2", "", "the port COM2 opens, as COM1", true},
        {K::Com3, "ports/COM3", "", "the port COM3 opens, as COM1", true},
        {K::Com4, "ports/COM4", "", "the port COM4 opens, as COM1", true},
        {K::Unnumbered, "ports/unnumbered", "",
         "ports whose number was removed: they take none until given one again", false},
        {K::LastInitFolder, "files/lastInitFolder", "",
         "the folder of the Init.txt chosen last (`--choose` starts there)", false},
        {K::StationPorts, "station/ports", "",
         "quarn-station's slots in order (device paths or stable names); none: the USB adapters",
         false},
        {K::StationSound, "station/sound", "true",
         "the bell when the last running slot of a batch ends", false},
        {K::StationMaxRepeats, "station/max-repeats", "10",
         "quarn-station fails a unit whose block is refused this often in a row", false},
        {K::StationMaxAttempts, "station/max-attempts", "3",
         "a serial number that failed this often (on any station) is held for repair, not "
         "loaded again (0: no limit)",
         false},
        {K::RecordsDatabase, "records/database", "",
         "the PostgreSQL URL the records are pushed to, without a password (`QUARN_DB` overrides "
         "it)",
         false},
        {K::ImagesRequireApproved, "images/require-approved", "false",
         "every front end loads only an image on the approved list", false},
        {K::ImagesOfflineMaxAge, "images/offline-max-age", "43200",
         "seconds a kept copy of the approved list may decide while the database is away (0: "
         "never)",
         false},
        {K::PlantSocketLife, "plant/socket-life", "10000",
         "sessions a socket takes between services before it is flagged (0: never)", false},
        {K::WebListen, "web/listen", "127.0.0.1:8471",
         "where quarn-plant-web listens, ADDRESS:PORT (`--listen` overrides it; a loopback "
         "address answers loopback names only)",
         false},
        {K::WebTimeZone, "web/time-zone", "",
         "the plant's time zone, as the pages show times (`Europe/Berlin`; none: the machine's)",
         false},
    };
    return list;
}

const QString kKeep = QStringLiteral("; it was left as it is: fix or remove it");

// QSettings parses a file when it is first read, and reports a format error
// only to the object that parsed it: later objects on the same file share
// Qt's parsed copy and report none. So every Settings parses everything at
// once, and damaged files are remembered (as they were: size and time) for
// this process.
QSettings::Status parsedStatus(QSettings& store) {
    static QMutex mutex;
    static QHash<QString, QString> damaged;
    store.allKeys();
    QSettings::Status status = store.status();
    const QFileInfo file(store.fileName());
    const QString stamp =
        QStringLiteral("%1 %2").arg(file.size()).arg(file.lastModified().toMSecsSinceEpoch());
    const QMutexLocker lock(&mutex);
    if (status == QSettings::FormatError)
        damaged.insert(file.filePath(), stamp);
    else if (damaged.value(file.filePath()) == stamp)
        status = QSettings::FormatError;
    return status;
}

// Empty when the file can be used; else why not.
QString problemOf(QSettings& store) {
    const QSettings::Status status = parsedStatus(store);
    if (status != QSettings::NoError)
        return QStringLiteral("the settings file %1 is %2%3")
            .arg(store.fileName(),
                 status == QSettings::FormatError ? QStringLiteral("damaged (not INI)")
                                                  : QStringLiteral("not readable"),
                 kKeep);
    for (const SettingEntry& entry : entries()) {
        const QVariant value = store.value(QLatin1String(entry.key));
        if (!entry.devicePath || !value.isValid()) continue;
        if (value.typeId() != QMetaType::QString ||
            !(value.toString().isEmpty() || value.toString().startsWith(QLatin1Char('/'))))
            return QStringLiteral("the settings file %1 has a %2 that is no device path%3")
                .arg(store.fileName(), QString::fromLatin1(entry.key).section('/', 1), kKeep);
    }
    return QString();
}

// Why the file could not be written, from the system's codes.
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

const QList<SettingEntry>& settingEntries() { return entries(); }

const SettingEntry& settingEntry(SettingKey key) {
    const SettingEntry& entry = entries().at(int(key));
    Q_ASSERT(entry.id == key);  // the list is in the enum's order
    return entry;
}

QVariant settingDefault(SettingKey key) {
    const QString fallback = QString::fromLatin1(settingEntry(key).fallback);
    return fallback.isEmpty() ? QVariant() : QVariant(fallback);
}

SettingKey comSetting(int com) { return SettingKey(int(SettingKey::Com1) + com - 1); }

Settings::Settings() : Settings(settingsFilePath()) {}

Settings::Settings(const QString& path)
    : store_(std::make_unique<QSettings>(path, QSettings::IniFormat)),
      problem_(problemOf(*store_)) {}

Settings::~Settings() = default;

QString Settings::path() const { return store_->fileName(); }

QVariant Settings::value(SettingKey key) const {
    return store_->value(QLatin1String(settingEntry(key).key), settingDefault(key));
}

bool Settings::contains(SettingKey key) const {
    return store_->contains(QLatin1String(settingEntry(key).key));
}

bool Settings::setValue(SettingKey key, const QVariant& value) {
    if (!usable()) return false;
    store_->setValue(QLatin1String(settingEntry(key).key), value);
    return true;
}

bool Settings::remove(SettingKey key) {
    if (!usable()) return false;
    store_->remove(QLatin1String(settingEntry(key).key));
    return true;
}

bool Settings::save(QString* why) {
    QString problem = problem_;
    if (problem.isEmpty()) {
        store_->sync();
        if (store_->status() == QSettings::NoError) return true;
        problem = QStringLiteral("the settings file %1 could not be written: %2")
                      .arg(path(), unwritableReason(path()));
    }
    if (why) *why = problem;
    return false;
}

}  // namespace quarn
