#include "ports/port_settings.h"

#include "ports/port_map.h"

namespace quarn {

PortSettings::PortSettings() : PortSettings(portSettingsPath()) {}

PortSettings::PortSettings(const QString& path)
    : settings_(path, QSettings::IniFormat), problem_(portSettingsProblem(settings_)) {}

bool PortSettings::setValue(const QString& key, const QVariant& value) {
    if (!usable()) return false;
    settings_.setValue(key, value);
    return true;
}

bool PortSettings::save(QString* why) {
    if (!usable()) {
        if (why) *why = problem_;
        return false;
    }
    const QString problem = saveSettings(settings_);
    if (problem.isEmpty()) return true;
    if (why) *why = problem;
    return false;
}

}  // namespace quarn
