#include "records/database_url.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

namespace quarn::records {

namespace {

// Query keys that name the server rather than an option of the connection.
bool takeServerKey(DatabaseTarget& t, const QString& key, const QString& value) {
    if (key == QLatin1String("host")) return t.host = value, true;
    if (key == QLatin1String("dbname")) return t.database = value, true;
    if (key == QLatin1String("user")) return t.user = value, true;
    if (key == QLatin1String("port")) {
        bool ok = false;
        t.port = value.toInt(&ok);
        if (!ok) t.error = QStringLiteral("the port \"%1\" is no number").arg(value);
        return true;
    }
    return false;
}

// A value as libpq's connection string wants it: quoted, so that a path with
// spaces stays one value.
QString quoted(QString value) {
    value.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + value + QLatin1Char('\'');
}

}  // namespace

DatabaseTarget parseDatabaseUrl(const QString& text) {
    DatabaseTarget t;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") &&
                           url.scheme() != QLatin1String("postgres"))) {
        t.error = QStringLiteral("\"%1\" is no PostgreSQL URL (postgresql://user@host:port/db)")
                      .arg(text);
        return t;
    }
    if (!url.password().isEmpty() || QUrlQuery(url).hasQueryItem(QStringLiteral("password"))) {
        t.error = QStringLiteral("no password in the URL: put it in ~/.pgpass");
        return t;
    }
    t.host = url.host();
    t.port = url.port(-1);
    t.user = url.userName();
    t.database = url.path().mid(1);
    QStringList given;
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
        if (takeServerKey(t, key, value)) continue;
        given << key;
        t.options << key + QLatin1Char('=') + quoted(value);
    }
    // Defaults: a connection attempt ends after its time-out, and a server
    // that vanishes mid-push (a pulled cable) is noticed within a minute or two.
    const QStringList defaults{
        QStringLiteral("connect_timeout=%1").arg(kDefaultConnectTimeoutS),
        QStringLiteral("keepalives_idle=30"), QStringLiteral("keepalives_interval=10"),
        QStringLiteral("keepalives_count=3"), QStringLiteral("tcp_user_timeout=60000")};
    for (const QString& d : defaults)
        if (!given.contains(d.section(QLatin1Char('='), 0, 0))) t.options << d;
    return t;
}

QString settingsFilePath() {
    const QString dir = qEnvironmentVariable("QUARN_CONFIG_DIR");
    if (!dir.isEmpty()) return QDir(dir).filePath(QStringLiteral("quarn-download.conf"));
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quarn-download/quarn-download.conf");
}

QString configuredDatabaseUrl() {
    const QString env = qEnvironmentVariable("QUARN_DB");
    if (!env.isEmpty()) return env;
    const QSettings settings(settingsFilePath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("records/database")).toString();
}

QString defaultLogPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/quarn-download/sessions.jsonl");
}

}  // namespace quarn::records
