#include "records-tool/records_cli.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QTimer>
#include <cstdio>
#include <optional>

#include "core/front_door.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/translations.h"
#include "database/migrations.h"
#include "database/schema.h"
#include "figures/report_sql.h"
#include "owner/archive.h"
#include "owner/migrate.h"
#include "pg/database_url.h"
#include "push/push.h"
#include "recordlog/history.h"
#include "recordlog/record_filter.h"
#include "recordlog/report.h"
#include "records-tool/history_commands.h"
#include "records-tool/image_commands.h"
#include "records-tool/socket_command.h"

namespace quarn::records {

namespace {

// After Qt's help: the commands, the database, the exit statuses. Command
// and option names stay English in every language.
QString moreHelp() {
    return QCoreApplication::translate(
               "quarn-records",
               "\nCommands:\n"
               "  push     send every record of the log that is not yet in the database\n"
               "  report   sessions, good, failed by outcome, first-pass yield, median seconds\n"
               "  schema   print the SQL of the tables, indexes, view and triggers; with\n"
               "           --roles, of the roles quarn_station, quarn_engineer, quarn_viewer;\n"
               "           with --refill, of the summaries counted again from the rows\n"
               "  approve  approve the image an Init.txt (or INIT, or its folder) loads:\n"
               "           approve [INIT] [--file FILE] [--length N] [--note TEXT]\n"
               "  revoke   revoke an approval: revoke SHA256 [--note TEXT] (12 hex digits\n"
               "           or more of it, naming one image)\n"
               "  images   the approved list, revocations too (--json: a JSON array)\n"
               "  migrate  apply the migrations the database's ledger lacks, each whole or\n"
               "           not at all, or move an earlier release's database over (its owner's)\n"
               "  archive  let a month go: archive YYYY-MM detaches its partition and takes\n"
               "           its rows out of the summaries, in one transaction (the owner's)\n"
               "  trace    one unit's history: trace SERIAL, every session on every station\n"
               "           in time order\n"
               "  units    the units whose latest good session loaded an image: units --image\n"
               "           SHA256 (12 hex digits or more) [--since DATE]: a recall's list\n"
               "  socket-service  a socket was serviced: socket-service STATION SLOT\n"
               "           [--note TEXT] (SLOT as report --by slot names it)\n"
               "\nThe database: --db, else QUARN_DB, else [records] database= in the settings\n"
               "file. URL: postgresql://user@host:port/db?sslmode=verify-full&connect_timeout=5\n"
               "or postgresql:///db?host=/run/postgresql. Passwords come from ~/.pgpass.\n"
               "\nA push gives each statement %1 s (QUARN_PUSH_TIME_LIMIT seconds when set).\n"
               "One push of a log runs at a time; another one started meanwhile wakes it and\n"
               "waits for it as long.\n"
               "\nExit status:\n"
               "  0  done (push: every record is in the database, sent by this push or by\n"
               "     another push of the log that was running)\n"
               "  1  usage error (a password in the URL, an unknown or ambiguous sha256 prefix,\n"
               "     fewer than 12 hex digits of an image)\n"
               "  2  the database cannot be reached, is busy or refuses (push: or another\n"
               "     push of the log runs and records still wait); nothing is lost, run\n"
               "     again later\n"
               "  3  not permitted: the database refused for lack of rights; the message names\n"
               "     the role needed (quarn_station, quarn_engineer or quarn_viewer)\n")
        .arg(pg::kStatementLimitS);
}

int usage(const QString& why) { return recordsDoor().refuse(why, kRecordsUsage); }

void warn(const QString& text) {
    recordsDoor().printErr(QCoreApplication::translate("quarn-records", "warning: ") + text);
}

// The wait of a --retry push between its attempts: until its seconds are
// up, the log is removed or moved aside (its rest is sent first), or another
// push wakes it by setting the lock file's times. Made before the first
// attempt, so that a wake during an attempt ends the wait after it at once.
class RetryWait {
public:
    explicit RetryWait(const QString& log) : log_(log), lock_(recordlog::pushLockPath(log)) {
        QFile lock(lock_);  // made now when missing, to be watched from the start
        if (QFile::exists(log_) && lock.open(QIODevice::ReadWrite)) watcher_.addPath(lock_);
        if (QFile::exists(log_)) watcher_.addPath(log_);
        QObject::connect(&watcher_, &QFileSystemWatcher::fileChanged, [this](const QString& p) {
            if (p == log_ && QFile::exists(log_)) return;  // a record appended
            woken_ = true;
            if (loop_) loop_->quit();
        });
    }
    // Blocks until one of those; then true while records still wait.
    bool wait(int seconds) {
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop_ = &loop;
        if (!woken_) loop.exec();  // a wake already queued ends it at once
        loop_ = nullptr;
        woken_ = false;
        if (!watcher_.files().contains(lock_) && QFile::exists(lock_)) watcher_.addPath(lock_);
        return recordlog::pendingCount(log_) > 0;
    }

private:
    QString log_, lock_;
    QFileSystemWatcher watcher_;
    QEventLoop* loop_ = nullptr;
    bool woken_ = false;
};

// A push that found the log held by another: it woke the holder, and waits
// (at most a push's time limit) while that one sends the records, looking
// again whenever a file beside the log changes (LOG.sent after each batch),
// and pushes itself when the holder lets go. Done when nothing waits any
// more; else the records wait, and the exit status says so (logrotate's
// prerotate push must not let the log be rotated then).
push::PushResult waitForHolder(push::PushRequest request, push::PushResult r) {
    QFileSystemWatcher folder{QStringList{QFileInfo(request.logPath).absolutePath()}};
    QDeadlineTimer deadline(pg::statementLimitMs());
    request.wakeHolder = false;  // woken once: its own attempt is what is waited for
    while (r.status == push::PushResult::Status::Handed && r.pending > 0 &&
           !deadline.hasExpired()) {
        QEventLoop loop;
        QObject::connect(&folder, &QFileSystemWatcher::directoryChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(qMax<qint64>(0, deadline.remainingTime()), &loop, &QEventLoop::quit);
        loop.exec();
        if ((r.pending = recordlog::pendingCount(request.logPath)) == 0)
            break;  // the holder sent them
        r = push::pushLog(request);
    }
    return r;
}

void sayFigures(const push::PushResult& r) {
    sayLine(stdout,
            QCoreApplication::translate("quarn-records", "%1 record(s) sent, %2 new; %3 wait")
                .arg(r.sent)
                .arg(r.inserted)
                .arg(r.pending));
}

// retrySeconds > 0: while the server cannot be reached or is busy, try again
// that often until every record is in, at most kRetries times, holding the
// log's lock meanwhile: any other push of the log ends at once (exit 0) and
// leaves its records to this one, waking it to try again at once.
constexpr int kRetries = 60;

int push(const QString& url, const QString& log, int retrySeconds) {
    if (url.isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records", "no database: --db, QUARN_DB or [records] database="));
    int tries = kRetries;
    push::PushRequest request{log, url, 1000, warn, {}, {}};
    request.wakeHolder = true;
    std::optional<RetryWait> retryWait;
    if (retrySeconds > 0) {
        retryWait.emplace(log);
        request.again = [&](const push::PushResult& r) {
            if (--tries < 0) return false;
            sayFigures(r);
            recordsDoor().printErr(QCoreApplication::translate(
                                       "quarn-records", "%1; nothing is lost, trying again in %2 s")
                                       .arg(r.error)
                                       .arg(retrySeconds));
            return retryWait->wait(retrySeconds);
        };
    }
    push::PushResult r = push::pushLog(request);
    if (r.status == push::PushResult::Status::Handed) r = waitForHolder(request, r);
    if (r.status == push::PushResult::Status::Usage) return usage(r.error);
    if (r.status == push::PushResult::Status::Denied)
        return recordsDoor().fail(r.error, kRecordsDenied);
    if (r.status == push::PushResult::Status::Handed && r.pending == 0)
        return sayLine(stdout, recordlog::handedText(log)), kRecordsDone;
    if (r.status == push::PushResult::Status::Handed)
        return recordsDoor().fail(
            QCoreApplication::translate("quarn-records",
                                        "another push of %1 is running and %2 record(s) still wait "
                                        "for the database; nothing is lost, push again later")
                .arg(log)
                .arg(r.pending),
            kRecordsUnreachable);
    sayFigures(r);
    if (r.status == push::PushResult::Status::Done) return kRecordsDone;
    return recordsDoor().fail(
        QCoreApplication::translate("quarn-records", "%1; nothing is lost, push again later")
            .arg(r.error),
        kRecordsUnreachable);
}

int report(const QString& url, const QString& log, const recordlog::ReportRequest& request,
           bool json) {
    const recordlog::Report rep = log.isEmpty() ? figures::reportFromDatabase(url, request)
                                                : recordlog::reportFromLog(log, request, warn);
    if (!rep.error.isEmpty()) {
        recordsDoor().printErr(rep.error);
        if (rep.denied) return kRecordsDenied;
        return log.isEmpty() && !rep.usage ? kRecordsUnreachable : kRecordsUsage;
    }
    const QByteArray out = json ? recordlog::reportJson(rep, request)
                                : recordlog::reportText(rep, request).toLocal8Bit();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kRecordsDone;
}

}  // namespace

namespace {

// The options as given on the command line.
struct Given {
    QString db, log, since, by, retry, file, length, note, image, station;
    QStringList rest;  // after the command
    bool json = false, roles = false, exact = false, refill = false;
    QString url() const { return db.isEmpty() ? pg::configuredDatabaseUrl() : db; }
};

int reportCommand(const Given& g) {
    if (!g.db.isEmpty() && !g.log.isEmpty())
        return usage(QCoreApplication::translate("quarn-records", "--db or --log, not both"));
    recordlog::ReportRequest request{
        g.by,      {},     g.exact, Settings().value(SettingKey::PlantSocketLife).toLongLong(),
        g.station, g.image};
    if (g.exact && !g.log.isEmpty())
        return usage(QCoreApplication::translate("quarn-records", "--exact is for --db"));
    if (!g.by.isEmpty() && !recordlog::reportGroupings().contains(g.by))
        return usage(QCoreApplication::translate(
            "quarn-records", "--by takes day, station, file, slot or operator"));
    if (!g.since.isEmpty() && !(request.since = recordlog::parseReportSince(g.since)).isValid())
        return usage(QCoreApplication::translate("quarn-records",
                                                 "--since wants a date (2026-12-07), not \"%1\"")
                         .arg(g.since));
    const QString url = g.db.isEmpty() && g.log.isEmpty() ? pg::configuredDatabaseUrl() : g.db;
    if (!url.isEmpty()) return report(url, QString(), request, g.json);
    return report(QString(), g.log.isEmpty() ? quarn::defaultLogPath() : g.log, request, g.json);
}

// trace and units read the database (--db, else the configured one) or,
// with --log or without any database, a log. Null when both are given.
std::optional<HistorySource> historySource(const Given& g) {
    if (!g.db.isEmpty() && !g.log.isEmpty()) return std::nullopt;
    const QString url = g.db.isEmpty() && g.log.isEmpty() ? pg::configuredDatabaseUrl() : g.db;
    return HistorySource{url, g.log.isEmpty() ? quarn::defaultLogPath() : g.log, g.json};
}

int traceRun(const Given& g) {
    const std::optional<HistorySource> from = historySource(g);
    if (!from)
        return usage(QCoreApplication::translate("quarn-records", "--db or --log, not both"));
    if (g.rest.value(0).trimmed().isEmpty())
        return usage(
            QCoreApplication::translate("quarn-records", "%1 takes %2").arg("trace", "SERIAL"));
    return traceCommand(*from, g.rest.value(0));
}

int unitsRun(const Given& g) {
    const std::optional<HistorySource> from = historySource(g);
    if (!from)
        return usage(QCoreApplication::translate("quarn-records", "--db or --log, not both"));
    if (!recordlog::isImagePrefix(g.image))
        return usage(
            QCoreApplication::translate("quarn-records",
                                        "--image wants 12 to 64 hex digits of a sha256, not \"%1\"")
                .arg(g.image));
    QDateTime since;
    if (!g.since.isEmpty() && !(since = recordlog::parseReportSince(g.since)).isValid())
        return usage(QCoreApplication::translate("quarn-records",
                                                 "--since wants a date (2026-12-07), not \"%1\"")
                         .arg(g.since));
    return unitsCommand(*from, g.image, since);
}

int schemaCommand(const Given& g) {
    if (g.roles && g.refill)
        return usage(QCoreApplication::translate("quarn-records", "--roles or --refill, not both"));
    // One transaction: psql applies it whole or not at all, and nobody sees
    // the schema half made again meanwhile.
    const QString script = g.roles    ? database::rolesScript()
                           : g.refill ? database::refillScript()
                                      : database::schemaScript();
    std::fputs(script.toUtf8().constData(), stdout);
    return kRecordsDone;
}

int pushCommand(const Given& g) {
    bool ok = g.retry.isEmpty();
    const int retry = ok ? 0 : g.retry.toInt(&ok);
    if (!ok || retry < 0)
        return usage(
            QCoreApplication::translate("quarn-records", "--retry wants seconds, not \"%1\"")
                .arg(g.retry));
    return push(g.url(), g.log.isEmpty() ? quarn::defaultLogPath() : g.log, retry);
}

// The commands on the approved list, which all need a database.
int imageCommand(const QString& name, const Given& g) {
    if (g.url().isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records", "no database: --db, QUARN_DB or [records] database="));
    if (name == QLatin1String("approve"))
        return approveCommand(g.url(), {g.rest.value(0), g.file, g.length, g.note});
    if (name == QLatin1String("revoke")) return revokeCommand(g.url(), g.rest.value(0), g.note);
    return imagesCommand(g.url(), g.json);
}

// How long migrate waits for the table's lock (pushes and reports in flight).
constexpr int kMigrateLockWaitS = 60;

int migrateCommand(const Given& g) {
    if (g.url().isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records", "no database: --db, QUARN_DB or [records] database="));
    const owner::MigrateResult r = owner::migrateDatabase(
        g.url(), kMigrateLockWaitS * 1000, [](const QString& line) { sayLine(stdout, line); });
    switch (r.status) {
        case owner::MigrateResult::Status::Done:
            return kRecordsDone;
        case owner::MigrateResult::Status::Usage:
            return usage(r.error);
        case owner::MigrateResult::Status::Denied:
        case owner::MigrateResult::Status::Changed:
            return recordsDoor().fail(r.error, kRecordsDenied);
        default:
            return recordsDoor().fail(
                QCoreApplication::translate("quarn-records", "%1; nothing was changed")
                    .arg(r.error),
                kRecordsUnreachable);
    }
}

int archiveCommand(const Given& g) {
    if (g.url().isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records", "no database: --db, QUARN_DB or [records] database="));
    const owner::ArchiveResult r =
        owner::archiveMonth(g.url(), g.rest.value(0), kMigrateLockWaitS * 1000,
                            [](const QString& line) { sayLine(stdout, line); });
    switch (r.status) {
        case owner::ArchiveResult::Status::Done:
            return kRecordsDone;
        case owner::ArchiveResult::Status::Usage:
            return usage(r.error);
        case owner::ArchiveResult::Status::Denied:
            return recordsDoor().fail(r.error, kRecordsDenied);
        default:
            return recordsDoor().fail(
                QCoreApplication::translate("quarn-records", "%1; nothing was changed")
                    .arg(r.error),
                kRecordsUnreachable);
    }
}

int serviceCommand(const Given& g) {
    if (g.url().isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records", "no database: --db, QUARN_DB or [records] database="));
    return socketServiceCommand(g.url(), g.rest.value(0), g.rest.value(1), g.note);
}

// Which options and how many arguments after it each command takes.
struct CommandForm {
    const char* name;
    QStringList options;
    int minArgs, maxArgs;
    int (*run)(const Given&);
};

QStringList givenOptions(const Given& g) {
    QStringList given;
    const std::pair<const char*, bool> all[] = {{"db", !g.db.isEmpty()},
                                                {"log", !g.log.isEmpty()},
                                                {"since", !g.since.isEmpty()},
                                                {"by", !g.by.isEmpty()},
                                                {"retry", !g.retry.isEmpty()},
                                                {"file", !g.file.isEmpty()},
                                                {"length", !g.length.isEmpty()},
                                                {"note", !g.note.isEmpty()},
                                                {"image", !g.image.isEmpty()},
                                                {"station", !g.station.isEmpty()},
                                                {"json", g.json},
                                                {"exact", g.exact},
                                                {"roles", g.roles},
                                                {"refill", g.refill}};
    for (const auto& [name, set] : all)
        if (set) given << QLatin1String(name);
    return given;
}

int command(const QString& name, const Given& g) {
    static const QList<CommandForm> forms{
        {"push", {"db", "log", "retry"}, 0, 0, pushCommand},
        {"report",
         {"db", "log", "since", "by", "station", "image", "json", "exact"},
         0,
         0,
         reportCommand},
        {"schema", {"roles", "refill"}, 0, 0, schemaCommand},
        {"migrate", {"db"}, 0, 0, migrateCommand},
        {"archive", {"db"}, 1, 1, archiveCommand},
        {"approve",
         {"db", "file", "length", "note"},
         0,
         1,
         [](const Given& g) { return imageCommand(QStringLiteral("approve"), g); }},
        {"revoke",
         {"db", "note"},
         1,
         1,
         [](const Given& g) { return imageCommand(QStringLiteral("revoke"), g); }},
        {"images",
         {"db", "json"},
         0,
         0,
         [](const Given& g) { return imageCommand(QStringLiteral("images"), g); }},
        {"trace", {"db", "log", "json"}, 1, 1, traceRun},
        {"units", {"db", "log", "image", "since", "json"}, 0, 0, unitsRun},
        {"socket-service", {"db", "note"}, 2, 2, serviceCommand},
    };
    for (const CommandForm& f : forms) {
        if (name != QLatin1String(f.name)) continue;
        for (const QString& o : givenOptions(g))
            if (!f.options.contains(o))
                return usage(QCoreApplication::translate("quarn-records", "--%1 is not for %2")
                                 .arg(o, name));
        if (g.rest.size() < f.minArgs || g.rest.size() > f.maxArgs)
            return usage(f.maxArgs
                             ? QCoreApplication::translate("quarn-records", "%1 takes %2")
                                   .arg(name, name == QLatin1String("trace")     ? "SERIAL"
                                              : name == QLatin1String("archive") ? "YYYY-MM"
                                              : f.minArgs == 2                   ? "STATION SLOT"
                                              : f.minArgs                        ? "SHA256"
                                                          : "at most one INIT")
                             : QCoreApplication::translate("quarn-records", "%1 takes no arguments")
                                   .arg(name));
        return f.run(g);
    }
    return usage(QCoreApplication::translate("quarn-records", "unknown command \"%1\"").arg(name));
}

// quarn-records' options: names, help (in the operator's language when the
// catalogue is loaded) and value name.
struct OptionText {
    QStringList names;
    const char* help;
    const char* value;
    int number = 0;  // the help's %1, when not 0
};

const OptionText kOptions[] = {
    {{"db"}, QT_TRANSLATE_NOOP("quarn-records", "The database (PostgreSQL URL)."), "URL"},
    {{"log"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "The log of records (default:\n$XDG_STATE_HOME/"
                       "quarn-download/sessions.jsonl)."),
     "FILE"},
    {{"since"},
     QT_TRANSLATE_NOOP("quarn-records", "report, units: records started on or after DATE."),
     "DATE"},
    {{"by"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "report: one row per day, station, file, slot or operator."),
     "KEY"},
    {{"json"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "report, images, trace, units: a JSON array instead of a table."),
     ""},
    {{"exact"},
     QT_TRANSLATE_NOOP(
         "quarn-records",
         "report --db: count from the sessions themselves, not\nthe hourly summaries."),
     ""},
    {{"image"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "units: the image, 12 hex digits or more of its sha256;\n"
                       "report: the records of an image (a sha256 prefix, or\n"
                       "part of an approved image's title)."),
     "SHA256"},
    {{"station"},
     QT_TRANSLATE_NOOP("quarn-records", "report: the records of one station."),
     "NAME"},
    {{"retry"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "push: while the database cannot be reached or is busy,\n"
                       "try again every SECONDS until every record is in (%1\n"
                       "tries), holding the log's lock meanwhile."),
     "SECONDS",
     kRetries},
    {{"roles"},
     QT_TRANSLATE_NOOP("quarn-records", "schema: the SQL of the roles and their grants."),
     ""},
    {{"refill"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "schema: the SQL that counts the summaries again from\nthe rows (after "
                       "a partition detached by hand)."),
     ""},
    {{"file"},
     QT_TRANSLATE_NOOP("quarn-records", "approve: the image file instead of Init.txt's."),
     "FILE"},
    {{"length"},
     QT_TRANSLATE_NOOP("quarn-records", "approve: the length instead of Init.txt's."),
     "N"},
    {{"note"},
     QT_TRANSLATE_NOOP("quarn-records",
                       "approve, revoke, socket-service: a note kept with the\napproval or "
                       "the service."),
     "TEXT"},
    {{"version"}, QT_TRANSLATE_NOOP("quarn-records", "Show the version."), ""},
    {{"h", "help"}, QT_TRANSLATE_NOOP("quarn-records", "Show this help."), ""},
};

void describeOptions(QCommandLineParser& p) {
    p.setApplicationDescription(QCoreApplication::translate(
        "quarn-records", "Sends quarn-flash's records to PostgreSQL and reports on them."));
    for (const OptionText& o : kOptions) {
        const QString help = QCoreApplication::translate("quarn-records", o.help);
        p.addOption({o.names, o.number ? help.arg(o.number) : help, QString::fromLatin1(o.value)});
    }
    p.addPositionalArgument(
        "command",
        QCoreApplication::translate(
            "quarn-records",
            "push, report, schema, approve, revoke, images, trace, units, migrate, archive or "
            "socket-service."),
        "push|report|schema|approve|revoke|images|trace|units|migrate|archive|socket-service");
}

}  // namespace

int runRecordsCli(const QStringList& args) {
    QCommandLineParser p;
    describeOptions(p);
    if (!p.parse(args)) return usage(p.errorText());
    if (p.isSet(QStringLiteral("help"))) {
        return sayLine(stdout, programHelp(p, QStringLiteral("quarn-records")) + moreHelp()),
               kRecordsDone;
    }
    if (p.isSet(QStringLiteral("version"))) return recordsDoor().printVersion();
    const QStringList rest = p.positionalArguments();
    if (rest.isEmpty())
        return usage(QCoreApplication::translate(
            "quarn-records",
            "one command: push, report, schema, approve, revoke, images, trace, units, migrate, "
            "archive or socket-service"));
    return command(rest.first(),
                   {p.value(QStringLiteral("db")), p.value(QStringLiteral("log")),
                    p.value(QStringLiteral("since")), p.value(QStringLiteral("by")),
                    p.value(QStringLiteral("retry")), p.value(QStringLiteral("file")),
                    p.value(QStringLiteral("length")), p.value(QStringLiteral("note")),
                    p.value(QStringLiteral("image")), p.value(QStringLiteral("station")),
                    rest.mid(1), p.isSet(QStringLiteral("json")), p.isSet(QStringLiteral("roles")),
                    p.isSet(QStringLiteral("exact")), p.isSet(QStringLiteral("refill"))});
}

}  // namespace quarn::records
