#include "plant/plant_options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include "core/translations.h"
#include "pg/database_url.h"
#include "plantfeed/plant_figures.h"

namespace quarn::plant {

namespace {

// The database URL given (or configured), refused when there is none or it is unusable.
void takeDatabase(const QString& url, PlantOptions& o) {
    o.databaseUrl = url;
    if (o.databaseUrl.isEmpty()) {
        o.error = QCoreApplication::translate("quarn-plant",
                                              "no database: --db, QUARN_DB or [records] database=");
        o.action = PlantOptions::Action::Error;
        return;
    }
    const pg::DatabaseTarget target = pg::parseDatabaseUrl(o.databaseUrl);
    if (!target.error.isEmpty()) o.action = PlantOptions::Action::Error, o.error = target.error;
}

}  // namespace

PlantOptions parsePlantOptions(const QStringList& args) {
    PlantOptions o;
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate(
        "quarn-plant",
        "The plant at a glance: each station's figures, yield per hour, failures by\n"
        "cause and failing sockets, from the records' database, updated as records\n"
        "arrive."));
    const QCommandLineOption db(
        "db",
        QCoreApplication::translate("quarn-plant",
                                    "The database (PostgreSQL URL); default: QUARN_DB,\n"
                                    "else [records] database= of the settings file."),
        "URL");
    const QCommandLineOption since(
        "since",
        QCoreApplication::translate("quarn-plant",
                                    "Show the records started on or after DATE (2026-12-07)."),
        "DATE");
    const QCommandLineOption version(
        "version", QCoreApplication::translate("quarn-plant", "Show the version."));
    const QCommandLineOption help({"h", "help"},
                                  QCoreApplication::translate("quarn-plant", "Show this help."));
    p.addOptions({db, since, version, help});
    if (!p.parse(args)) return o.action = PlantOptions::Action::Error, o.error = p.errorText(), o;
    if (p.isSet(help)) {
        o.helpText = programHelp(p, QStringLiteral("quarn-plant"));
        return o.action = PlantOptions::Action::Help, o;
    }
    if (p.isSet(version)) return o.action = PlantOptions::Action::Version, o;
    if (!p.positionalArguments().isEmpty()) {
        o.error = QCoreApplication::translate("quarn-plant", "unexpected argument \"%1\"")
                      .arg(p.positionalArguments()[0]);
        return o.action = PlantOptions::Action::Error, o;
    }
    if (p.isSet(since) && !(o.since = plantfeed::parseSinceDate(p.value(since))).isValid()) {
        o.error = QCoreApplication::translate("quarn-plant",
                                              "--since wants a date (2026-12-07), not \"%1\"")
                      .arg(p.value(since));
        return o.action = PlantOptions::Action::Error, o;
    }
    takeDatabase(p.isSet(db) ? p.value(db) : pg::configuredDatabaseUrl(), o);
    return o;
}

}  // namespace quarn::plant
