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

// The one list. The table of the settings file in docs/settings.md says the
// same, row for row (tests/core/test_settings.cpp compares them).
const QList<SettingEntry>& entries() {
    using T = SettingType;
    static const QList<SettingEntry> list = {
        {K::Com1, "ports/COM1", "QUARN_COM1", T::DevicePath, "",
         "the port COM1 opens: its by-id link, else its by-path link, else its device path"},
        {K::Com2, "ports/COM2", "QUARN_COM2", T::DevicePath, "", "the port COM2 opens, as COM1"},
        {K::Com3, "ports/COM3", "QUARN_COM3", T::DevicePath, "", "the port COM3 opens, as COM1"},
        {K::Com4, "ports/COM4", "QUARN_COM4", T::DevicePath, "", "the port COM4 opens, as COM1"},
        {K::Unnumbered, "ports/unnumbered", "", T::List, "",
         "ports whose number was removed: they take none until given one again"},
        {K::LastInitFolder, "files/lastInitFolder", "", T::Text, "",
         "the folder of the Init.txt chosen last (`--choose` starts there)"},
        {K::StationPorts, "station/ports", "", T::List, "",
         "quarn-station's slots in order (device paths or stable names); none: the USB adapters"},
        {K::StationSound, "station/sound", "", T::Flag, "true",
         "the bell when the last running slot of a batch ends"},
        {K::StationMaxRepeats, "station/max-repeats", "", T::Count, "10",
         "quarn-station fails a unit whose block is refused this often in a row"},
        {K::StationMaxAttempts, "station/max-attempts", "", T::Count, "3",
         "a serial number that failed this often (on any station) is held for repair, not "
         "loaded again (0: no limit)"},
        {K::RecordsDatabase, "records/database", "QUARN_DB", T::Text, "",
         "the PostgreSQL URL the records are pushed to, without a password"},
        {K::ImagesRequireApproved, "images/require-approved", "", T::Flag, "false",
         "every front end loads only an image on the approved list"},
        {K::ImagesOfflineMaxAge, "images/offline-max-age", "", T::Count, "43200",
         "seconds a kept copy of the approved list may decide while the database is away (0: "
         "never)"},
        {K::PlantSocketLife, "plant/socket-life", "", T::Count, "10000",
         "sessions a socket takes between services before it is flagged (0: never)"},
        {K::WebListen, "web/listen", "", T::Text, "127.0.0.1:8471",
         "where quarn-plant-web listens, ADDRESS:PORT (`--listen` overrides it; a loopback "
         "address answers loopback names only)"},
        {K::WebTimeZone, "web/time-zone", "", T::Text, "",
         "the plant's time zone, as the pages show times (`Europe/Berlin`; none: the machine's)"},
        {K::ConfigDir, "", "QUARN_CONFIG_DIR", T::Text, "",
         "the folder of the settings file, in place of `~/.config/quarn-download`"},
        {K::PushTimeLimit, "", "QUARN_PUSH_TIME_LIMIT", T::Count, "30",
         "seconds a statement of the records' database, or its wait for a lock, may take "
         "(1 to 86400)"},
        {K::ApprovalRecheckMs, "", "QUARN_APPROVAL_RECHECK_MS", T::Count, "60000",
         "milliseconds between two looks at the approved list while `quarn-flash --watch` runs"},
        {K::SerialRoot, "", "QUARN_SERIAL_ROOT", T::Text, "/dev/serial",
         "the folder whose by-id and by-path links name the ports (tests give a made-up one)"},
        {K::TranslationsDir, "", "QUARN_TRANSLATIONS_DIR", T::Text, "",
         "the folder of the operator's catalogues, before the installed ones"},
        {K::AutoChoose, "", "QUARN_AUTO_CHOOSE", T::Text, "",
         "test hook: the file `--choose` takes (set and empty: none) instead of asking"},
        {K::AutoAnswerBoxes, "", "QUARN_AUTO_ANSWER_BOXES", T::Flag, "",
         "test hook: `1` writes every message box of quarn-download to standard output and "
         "answers it OK"},
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
        if (entry.type != SettingType::DevicePath) continue;
        const QVariant value = store.value(QLatin1String(entry.key));
        if (!value.isValid()) continue;
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

// The environment's text as a value of the entry's type; invalid when it is
// none of that type.
QVariant typed(const SettingEntry& entry, const QString& text) {
    switch (entry.type) {
        case SettingType::Flag:
            if (text == QLatin1String("1") || text == QLatin1String("true")) return true;
            if (text == QLatin1String("0") || text == QLatin1String("false")) return false;
            return QVariant();
        case SettingType::Count: {
            bool ok = false;
            const qlonglong n = text.toLongLong(&ok);
            return ok && n >= 0 ? QVariant(n) : QVariant();
        }
        case SettingType::DevicePath:
            return text.startsWith(QLatin1Char('/')) ? QVariant(text) : QVariant();
        case SettingType::List:
            return text.split(QLatin1Char(','), Qt::SkipEmptyParts);
        case SettingType::Text:
            break;
    }
    return text;
}

// The environment's value of the entry (invalid: unset, empty or not of its type).
QVariant environmentValue(const SettingEntry& entry) {
    const std::optional<QString> text = environmentText(entry.id);
    return text && !text->isEmpty() ? typed(entry, *text) : QVariant();
}

}  // namespace

std::optional<QString> environmentText(SettingKey key) {
    const char* name = settingEntry(key).env;
    if (!*name || !qEnvironmentVariableIsSet(name)) return std::nullopt;
    return qEnvironmentVariable(name);
}

QVariant resolvedSetting(SettingKey key, const QVariant& option) {
    const SettingEntry& entry = settingEntry(key);
    if (option.isValid()) return option;
    if (const QVariant env = environmentValue(entry); env.isValid()) return env;
    return *entry.key ? Settings().value(key) : settingDefault(key);
}

bool displayAvailable() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

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
    if (!*settingEntry(key).key) return settingDefault(key);  // the environment's alone
    return store_->value(QLatin1String(settingEntry(key).key), settingDefault(key));
}

QVariant Settings::resolved(SettingKey key, const QVariant& option) const {
    if (option.isValid()) return option;
    if (const QVariant env = environmentValue(settingEntry(key)); env.isValid()) return env;
    return value(key);
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
