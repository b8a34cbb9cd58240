#pragma once
// The program's settings file, quarn-download.conf, and every key it holds.
//
// Where it is: settingsFilePath() (core/paths.h). Every program reads it
// through Settings, never through a QSettings of its own, for two reasons:
//  - the keys, their defaults and their meanings are declared once, below,
//    and the table of the settings file in docs/settings.md is the same list;
//  - a damaged file (not INI, not readable, a COM key that is no device
//    path) is reported by every reader and never written. QSettings would
//    rewrite it from the little it understood, and it reports a format error
//    only to the first object that parses the file, so a reader that opened
//    its own QSettings first would hide the damage from all later ones.
// A damaged file is still read for what could be understood of it, as
// before: a reader that only reads (the database's URL, the approval switch)
// goes on with those values; a writer refuses.
//
// The environment too is read here and nowhere else: an entry names the
// variable that overrides its key (QUARN_DB for [records] database), and a
// few entries are the environment's alone (no key in the file). One
// precedence for every setting (resolvedSetting): the program's option when
// given, else the environment's variable when set and not empty (and of the
// entry's type), else the file's value, else the default.

#include <QString>
#include <QVariant>
#include <memory>
#include <optional>

class QSettings;

namespace quarn {

enum class SettingKey {
    Com1,
    Com2,
    Com3,
    Com4,
    Unnumbered,
    LastInitFolder,
    StationPorts,
    StationSound,
    StationMaxRepeats,
    StationMaxAttempts,
    RecordsDatabase,
    ImagesRequireApproved,
    ImagesOfflineMaxAge,
    PlantSocketLife,
    WebListen,
    WebTimeZone,
    // The environment's alone: no key in the file.
    ConfigDir,
    PushTimeLimit,
    ApprovalRecheckMs,
    SerialRoot,
    TranslationsDir,
    AutoChoose,
    AutoAnswerBoxes,
};

// What a value must be: text, true/false, a whole number of 0 or more, an
// absolute device path (or empty), a list.
enum class SettingType { Text, Flag, Count, DevicePath, List };

struct SettingEntry {
    SettingKey id;
    const char* key;  // "group/name", as QSettings spells it; "": the environment's alone
    const char* env;  // the environment variable that overrides it; "" when none
    SettingType type;
    const char* fallback;  // the default as written in the file; "" when none
    const char* meaning;   // one line, as docs/settings.md's table says it
};

// Every setting, in the order of docs/settings.md's table.
const QList<SettingEntry>& settingEntries();
const SettingEntry& settingEntry(SettingKey key);
// The key's default (an invalid QVariant when it has none), for a value
// that also has a life without the file (a station's config in a test).
QVariant settingDefault(SettingKey key);
// ports/COMn for com 1..4.
SettingKey comSetting(int com);

// The entry's environment variable as set (even empty); none when unset or
// when the entry has none.
std::optional<QString> environmentText(SettingKey key);

// The setting by the one precedence: option when valid, else the
// environment's variable when set, not empty and of the entry's type, else
// the file's value (the real file, read only for an entry that has a key),
// else the default; an invalid QVariant when none of them gives one.
QVariant resolvedSetting(SettingKey key, const QVariant& option = QVariant());

// Whether the session has a display for windows (DISPLAY, WAYLAND_DISPLAY,
// or a Qt platform named in QT_QPA_PLATFORM).
bool displayAvailable();

class Settings {
public:
    // The real file: settingsFilePath().
    Settings();
    // Another file (tests, made-up machines).
    explicit Settings(const QString& path);
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    QString path() const;
    // Empty when the file can be used (missing counts as usable: it is made on
    // the first save); else why not, naming the file.
    QString problem() const { return problem_; }
    bool usable() const { return problem_.isEmpty(); }

    // The stored value; else the key's default; else an invalid QVariant.
    // The environment is not looked at: resolvedSetting() does that.
    QVariant value(SettingKey key) const;
    // resolvedSetting() with this file.
    QVariant resolved(SettingKey key, const QVariant& option = QVariant()) const;
    // Whether the file stores a value for key.
    bool contains(SettingKey key) const;
    // Ignored (false) when the file is not usable.
    bool setValue(SettingKey key, const QVariant& value);
    bool remove(SettingKey key);
    // Writes pending changes to disk; false, with the reason in *why (made
    // from the system's codes), when the file is unusable or the write failed.
    bool save(QString* why);

private:
    std::unique_ptr<QSettings> store_;
    QString problem_;
};

}  // namespace quarn
