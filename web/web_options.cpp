#include "web/web_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimeZone>

#include "core/settings.h"
#include "core/translations.h"
#include "pg/database_url.h"

namespace quarn::web {

namespace {

WebOptions refused(WebOptions o, const QString& why) {
    o.action = WebOptions::Action::Error;
    o.error = why;
    return o;
}

// The database and the zone, from the options and the settings file.
WebOptions withSettings(WebOptions o, const QString& db) {
    o.databaseUrl = db.isEmpty() ? pg::configuredDatabaseUrl() : db;
    if (o.databaseUrl.isEmpty())
        return refused(
            o, QCoreApplication::translate("quarn-plant-web",
                                           "no database: --db, QUARN_DB or [records] database="));
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(o.databaseUrl);
    if (!target.error.isEmpty()) return refused(o, target.error);
    o.timeZone = Settings().value(SettingKey::WebTimeZone).toString();
    if (!o.timeZone.isEmpty() && !QTimeZone(o.timeZone.toUtf8()).isValid())
        return refused(o, QCoreApplication::translate("quarn-plant-web",
                                                      "[web] time-zone: no time zone \"%1\"")
                              .arg(o.timeZone));
    return o;
}

}  // namespace

WebOptions parseWebOptions(const QStringList& args) {
    WebOptions o;
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate(
        "quarn-plant-web",
        "The plant in any browser: the stations' figures, yield per hour, failures by\n"
        "cause, failing sockets, a unit's history and a recall list, read-only and\n"
        "live, from the records' database. By default on 127.0.0.1:8471 only."));
    const QCommandLineOption db(
        "db",
        QCoreApplication::translate("quarn-plant-web",
                                    "The database (PostgreSQL URL); default: QUARN_DB,\n"
                                    "else [records] database= of the settings file."),
        "URL");
    const QCommandLineOption listen(
        "listen",
        QCoreApplication::translate("quarn-plant-web",
                                    "Where to listen (default: [web] listen of the\n"
                                    "settings file, else 127.0.0.1:8471; 0.0.0.0:8471\n"
                                    "for the plant's network, best behind nginx with\n"
                                    "TLS and a login)."),
        "ADDRESS:PORT");
    const QCommandLineOption version(
        "version", QCoreApplication::translate("quarn-plant-web", "Show the version."));
    const QCommandLineOption help(
        {"h", "help"}, QCoreApplication::translate("quarn-plant-web", "Show this help."));
    p.addOptions({db, listen, version, help});
    if (!p.parse(args)) return refused(o, p.errorText());
    if (p.isSet(help)) {
        o.helpText = programHelp(p, QStringLiteral("quarn-plant-web"));
        return o.action = WebOptions::Action::Help, o;
    }
    if (p.isSet(version)) return o.action = WebOptions::Action::Version, o;
    if (!p.positionalArguments().isEmpty())
        return refused(o,
                       QCoreApplication::translate("quarn-plant-web", "unexpected argument \"%1\"")
                           .arg(p.positionalArguments()[0]));
    o.listen = parseListenAddress(
        p.isSet(listen) ? p.value(listen) : Settings().value(SettingKey::WebListen).toString());
    if (!o.listen.error.isEmpty()) return refused(o, o.listen.error);
    return withSettings(o, p.value(db));
}

}  // namespace quarn::web
