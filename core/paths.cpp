#include "core/paths.h"

#include <QDir>
#include <QStandardPaths>

namespace quarn {

QString settingsFilePath() {
    const QString dir = qEnvironmentVariable("QUARN_CONFIG_DIR");
    if (!dir.isEmpty()) return QDir(dir).filePath(QStringLiteral("quarn-download.conf"));
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quarn-download/quarn-download.conf");
}

QString defaultLogPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quarn-download/sessions.jsonl");
}

}  // namespace quarn
