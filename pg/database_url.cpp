#include "pg/database_url.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>

#include "core/settings.h"

namespace quarn::pg {

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

QString connectionString(const DatabaseTarget& t) {
    QStringList parts;
    if (!t.host.isEmpty()) parts << QStringLiteral("host=") + quoted(t.host);
    if (t.port > 0) parts << QStringLiteral("port=%1").arg(t.port);
    if (!t.database.isEmpty()) parts << QStringLiteral("dbname=") + quoted(t.database);
    if (!t.user.isEmpty()) parts << QStringLiteral("user=") + quoted(t.user);
    return (parts + t.options).join(QLatin1Char(' '));
}

int connectTimeoutS(const DatabaseTarget& t) {
    for (const QString& option : t.options) {
        if (option.section(QLatin1Char('='), 0, 0) != QLatin1String("connect_timeout")) continue;
        QString value = option.section(QLatin1Char('='), 1);
        value.remove(QLatin1Char('\''));
        return qMax(0, value.toInt());
    }
    return kDefaultConnectTimeoutS;
}

QString configuredDatabaseUrl() { return resolvedSetting(SettingKey::RecordsDatabase).toString(); }

namespace {

// True when a query item (name=value, or a bare name) names a password as
// libpq reads it: libpq percent-decodes the names of a URL's parameters, so
// "pass%77ord=" is "password=" to it.
bool isPasswordItem(const QString& item) {
    const QString name = item.section(QLatin1Char('='), 0, 0);
    return QString::fromUtf8(QByteArray::fromPercentEncoding(name.toUtf8()))
               .compare(QLatin1String("password"), Qt::CaseInsensitive) == 0;
}

// The text after its first '?' (all of it without one) split at every '&',
// as libpq splits a URL's parameters (a '#' ends nothing for libpq, so it
// stays in its item).
QStringList queryItemsOf(const QString& text) {
    return text.mid(text.indexOf(QLatin1Char('?')) + 1).split(QLatin1Char('&'));
}

// password=VALUE in libpq's keyword form ("host=db password=x"), which is no
// URL but may still be given as one.
const QRegularExpression& keywordPassword() {
    static const QRegularExpression re(
        QStringLiteral("(^|\\s)password\\s*=\\s*('([^'\\\\]|\\\\.)*'?|\\S*)"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

// The text without any password parameter, whatever its spelling.
QString withoutPasswordItems(QString text) {
    text = text.replace(keywordPassword(), QStringLiteral("\\1")).trimmed();
    const qsizetype question = text.indexOf(QLatin1Char('?'));
    if (question < 0) return isPasswordItem(text) ? QString() : text;
    QStringList kept;
    for (const QString& item : queryItemsOf(text))
        if (!item.isEmpty() && !isPasswordItem(item)) kept << item;
    return kept.isEmpty() ? text.left(question)
                          : text.left(question + 1) + kept.join(QLatin1Char('&'));
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
    if (userInfo.match(text).hasMatch() || !QUrl(text, QUrl::TolerantMode).password().isEmpty())
        return true;
    const QStringList items = queryItemsOf(text);
    return std::any_of(items.begin(), items.end(), isPasswordItem) ||
           keywordPassword().match(text).hasMatch();
}

QString redactedUrl(const QString& text) {
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return withoutPasswordItems(withoutUserInfo(text));
    url.setUserInfo(QString());
    return withoutPasswordItems(url.toString());
}

}  // namespace quarn::pg
