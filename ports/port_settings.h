#pragma once
// The program's settings file as one object: where it is, whether it can be
// used, and saving it. The [ports] group maps COM numbers (port_map.h); the
// [files] group remembers the folder of the last Init.txt chosen.
//
// A file that cannot be read or is no INI file is reported by problem() and
// is never written: QSettings would rewrite it from the little it understood.
// Every write goes through save(), which says why it failed.

#include <QSettings>
#include <QString>

namespace quarn {

class PortSettings {
public:
    // The real file: portSettingsPath().
    PortSettings();
    // Another file (tests, made-up machines).
    explicit PortSettings(const QString& path);

    QString path() const { return settings_.fileName(); }
    // Empty when the file can be used (missing counts as usable: it is made on
    // the first save); else why not, naming the file.
    QString problem() const { return problem_; }
    bool usable() const { return problem_.isEmpty(); }

    QVariant value(const QString& key) const { return settings_.value(key); }
    // Ignored (false) when the file is not usable.
    bool setValue(const QString& key, const QVariant& value);
    // Writes pending changes to disk; false, with the reason in *why, when the
    // file is unusable or the write failed.
    bool save(QString* why);

    // The underlying store, for the port map's rules.
    QSettings& store() { return settings_; }
    const QSettings& store() const { return settings_; }

private:
    QSettings settings_;
    QString problem_;
};

}  // namespace quarn
