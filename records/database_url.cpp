#include "records/database_url.h"

#include <QRegularExpression>
#include <QSettings>
#include <QUrl>
#include <QUrlQuery>

#include "core/paths.h"

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
    // First, before the text can reach any message.
    if (carriesPassword(text)) {
        t.error = QStringLiteral("no password in the URL (%1): put it in ~/.pgpass")
                      .arg(redactedUrl(text));
        return t;
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") &&
                           url.scheme() != QLatin1String("postgres"))) {
        t.error = QStringLiteral("\"%1\" is no PostgreSQL URL (postgresql://user@host:port/db)")
                      .arg(redactedUrl(text));
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

QString configuredDatabaseUrl() {
    const QString env = qEnvironmentVariable("QUARN_DB");
    if (!env.isEmpty()) return env;
    const QSettings settings(quarn::settingsFilePath(), QSettings::IniFormat);
    return settings.value(QStringLiteral("records/database")).toString();
}

namespace {

// A password parameter and its value, wherever it stands in a query.
const QRegularExpression& passwordParameter() {
    static const QRegularExpression re(QStringLiteral("(^|[?&])password=[^&#]*"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The text after the scheme's "://" (0 without one) up to the last '@': the
// user information as a careless parser would take it. Cutting that much
// never leaves a password behind, even in text no URL parser accepts.
QString withoutUserInfo(const QString& text) {
    const qsizetype scheme = text.indexOf(QLatin1String("://"));
    const qsizetype from = scheme < 0 ? 0 : scheme + 3;
    const qsizetype at = text.lastIndexOf(QLatin1Char('@'));
    return at < from ? text : text.left(from) + text.mid(at + 1);
}

}  // namespace

bool carriesPassword(const QString& text) {
    // user:password@ where the user has no '/', '?', '#', '@' or '[' (an
    // IPv6 host's colons are no password) and the password no '/', '?', '#'.
    static const QRegularExpression userInfo(
        QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://[^/?#@\\[]*:[^/?#@]*@"));
    return userInfo.match(text).hasMatch() || passwordParameter().match(text).hasMatch() ||
           !QUrl(text, QUrl::TolerantMode).password().isEmpty();
}

QString redactedUrl(const QString& text) {
    QUrl url(text, QUrl::StrictMode);
    QString shown;
    if (url.isValid() && !url.scheme().isEmpty()) {
        url.setUserInfo(QString());
        QUrlQuery query(url);
        query.removeAllQueryItems(QStringLiteral("password"));
        url.setQuery(query.isEmpty() ? QString() : query.query());
        shown = url.toString();
    } else {
        shown = withoutUserInfo(text);
    }
    shown.replace(passwordParameter(), QStringLiteral("\\1"));
    shown.replace(QStringLiteral("?&"), QStringLiteral("?"));
    return shown.endsWith(QLatin1Char('?')) ? shown.chopped(1) : shown;
}

}  // namespace quarn::records
