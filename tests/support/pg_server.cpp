#include "tests/support/pg_server.h"

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "record/record_id.h"

namespace testsupport {

namespace {
const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");
const char* const kUser = "quarn";

// The server will not run as root: its programs run as "postgres" then.
bool asPostgres() { return ::geteuid() == 0; }
}  // namespace

PgServer::PgServer(bool durable) : durable_(durable) {
    if (!dir_.isValid()) {
        error_ = QStringLiteral("no temporary folder");
        return;
    }
    if (asPostgres()) {
        const passwd* pw = ::getpwnam("postgres");
        if (!pw ||
            ::chown(QFile::encodeName(dir_.path()).constData(), pw->pw_uid, pw->pw_gid) != 0) {
            error_ = QStringLiteral("cannot give the folder to the user postgres");
            return;
        }
    }
    QString out;
    if (!run(kBin + QStringLiteral("initdb"),
             {QStringLiteral("-D"), dir_.filePath(QStringLiteral("data")), QStringLiteral("-U"),
              QString::fromLatin1(kUser), QStringLiteral("--auth=trust"),
              QStringLiteral("--no-sync"), QStringLiteral("-E"), QStringLiteral("UTF8"),
              QStringLiteral("--locale=C")},
             &out)) {
        error_ = QStringLiteral("initdb failed: ") + out;
        return;
    }
    if (!start()) error_ = QStringLiteral("the server did not start");
}

PgServer::~PgServer() {
    unlockTable();
    if (QFile::exists(dir_.filePath(QStringLiteral("data/postmaster.pid")))) stop();
}

QString PgServer::url(const QString& user) const {
    return QStringLiteral("postgresql:///postgres?host=%1&user=%2")
        .arg(dir_.path(), user.isEmpty() ? QLatin1String(kUser) : user);
}

bool PgServer::start() {
    QString options = QStringLiteral("-k %1 -c listen_addresses=''").arg(dir_.path());
    // fsync off only: each commit still reaches the kernel before the client
    // hears of it, so an immediate stop (a crash of the server, not of the
    // machine) keeps every commit a test saw, as a real server does.
    if (!durable_) options += QStringLiteral(" -c fsync=off");
    return run(kBin + QStringLiteral("pg_ctl"),
               {QStringLiteral("start"), QStringLiteral("-w"), QStringLiteral("-D"),
                dir_.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                dir_.filePath(QStringLiteral("server.log")), QStringLiteral("-o"), options});
}

bool PgServer::stop() {
    return run(
        kBin + QStringLiteral("pg_ctl"),
        {QStringLiteral("stop"), QStringLiteral("-w"), QStringLiteral("-m"),
         QStringLiteral("immediate"), QStringLiteral("-D"), dir_.filePath(QStringLiteral("data"))});
}

bool PgServer::pause() { return signal(SIGSTOP); }

bool PgServer::resume() { return signal(SIGCONT); }

// The postmaster's process id is the first line of its pid file.
bool PgServer::signal(int sig) {
    QFile pidFile(dir_.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly)) return false;
    bool ok = false;
    const pid_t pid = pidFile.readLine().trimmed().toInt(&ok);
    return ok && pid > 0 && ::kill(pid, sig) == 0;
}

QStringList PgServer::psqlArgs(const QStringList& statements, const QString& user) const {
    QStringList args{QStringLiteral("-h"),
                     dir_.path(),
                     QStringLiteral("-U"),
                     user.isEmpty() ? QString::fromLatin1(kUser) : user,
                     QStringLiteral("-d"),
                     QStringLiteral("postgres"),
                     QStringLiteral("-XAtq"),
                     QStringLiteral("-v"),
                     QStringLiteral("ON_ERROR_STOP=1")};
    for (const QString& s : statements) args << QStringLiteral("-c") << s;
    return args;
}

QString PgServer::sql(const QString& statement, const QString& user) const {
    return sql(QStringList{statement}, user);
}

QString PgServer::sql(const QStringList& statements, const QString& user) const {
    QString out;
    run(kBin + QStringLiteral("psql"), psqlArgs(statements, user), &out);
    return out.trimmed();
}

QString PgServer::loginsSql() {
    return QStringLiteral(
        "\nDO $$ BEGIN IF to_regrole('quarn_station') IS NOT NULL AND to_regrole('st1') IS NULL"
        " THEN CREATE ROLE st1 LOGIN IN ROLE quarn_station;"
        " CREATE ROLE eng1 LOGIN IN ROLE quarn_engineer;"
        " CREATE ROLE view1 LOGIN IN ROLE quarn_viewer; END IF; END $$;");
}

bool PgServer::freshSchema(const QString& schema) const {
    const QString out =
        sql(QStringLiteral("DROP SCHEMA public CASCADE; CREATE SCHEMA public AUTHORIZATION"
                           " pg_database_owner; GRANT USAGE ON SCHEMA public TO PUBLIC;") +
            schema + loginsSql());
    if (!out.contains(QStringLiteral("ERROR"))) return true;
    qWarning("%s", qPrintable(out));
    return false;
}

bool PgServer::lockTable(const QString& table, int seconds) {
    unlockTable();
    holder_ = std::make_unique<QProcess>();
    launch(*holder_, kBin + QStringLiteral("psql"),
           psqlArgs({QStringLiteral("BEGIN; LOCK TABLE %1 IN ACCESS EXCLUSIVE MODE;"
                                    " SELECT pg_sleep(%2); COMMIT;")
                         .arg(table)
                         .arg(seconds)}));
    const QString held = QStringLiteral(
                             "SELECT count(*) FROM pg_locks l JOIN pg_class c ON c.oid = "
                             "l.relation WHERE c.relname = '%1' AND l.mode = "
                             "'AccessExclusiveLock' AND l.granted")
                             .arg(table);
    // Each look is a psql run of its own (tens of milliseconds): no spinning.
    for (int look = 0; look < 500 && holder_->state() != QProcess::NotRunning; ++look)
        if (sql(held) == QLatin1String("1")) return true;
    return false;
}

bool PgServer::holdOpen(const QString& statements, const QString& user, int seconds) {
    unlockTable();
    holder_ = std::make_unique<QProcess>();
    launch(*holder_, kBin + QStringLiteral("psql"),
           psqlArgs({QStringLiteral("BEGIN; %1; SELECT pg_sleep(%2); COMMIT;")
                         .arg(statements)
                         .arg(seconds)},
                    user));
    const QString sleeping = QStringLiteral(
                                 "SELECT count(*) FROM pg_stat_activity WHERE usename = '%1'"
                                 " AND query LIKE '%pg_sleep%' AND wait_event = 'PgSleep'")
                                 .arg(user);
    // waitForFinished, not state(): the state changes only as Qt takes in
    // the child's end, which nothing here would do.
    for (int look = 0; look < 500; ++look) {
        if (sql(sleeping) == QLatin1String("1")) return true;
        if (holder_->waitForFinished(20)) return false;  // a statement was refused
    }
    return false;
}

void PgServer::unlockTable() {
    if (!holder_) return;
    sql(
        QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                       " WHERE query LIKE '%pg_sleep%' AND pid <> pg_backend_pid()"));
    if (!holder_->waitForFinished(10000)) holder_->kill(), holder_->waitForFinished();
    holder_.reset();
}

void PgServer::launch(QProcess& p, const QString& program, const QStringList& args) const {
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setWorkingDirectory(dir_.path());
    if (asPostgres())
        p.start(QStringLiteral("runuser"),
                QStringList{QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                            program} +
                    args);
    else
        p.start(program, args);
}

bool PgServer::run(const QString& program, const QStringList& args, QString* out) const {
    QProcess p;
    launch(p, program, args);
    const bool done = p.waitForFinished(60000);
    if (out) *out = QString::fromLocal8Bit(p.readAll());
    return done && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QByteArray sampleRecords(int n, int stations) {
    SampleShape shape;
    shape.stations = stations;
    return sampleRecords(n, shape);
}

QByteArray sampleRecords(int n, const SampleShape& shape) {
    const QString sha = QString(64, QLatin1Char('a'));
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        const bool good = i % 7 != 0;
        const int socket = i / shape.stations % shape.sockets;
        const QJsonObject o{
            {"id", quarn::record::newRecordId()},
            {"version", "1.1.0"},
            {"station", QStringLiteral("station-%1").arg(i % shape.stations)},
            {"operator", "ann"},
            {"serial", shape.serialPrefix + QString::number(i)},
            {"slot", shape.sockets == 1
                         ? QStringLiteral("/dev/serial/by-id/usb-FTDI-if00")
                         : QStringLiteral("/dev/serial/by-path/slot-%1").arg(socket)},
            {"port", "COM1"},
            {"device", "/dev/ttyUSB0"},
            {"file", "/srv/fw/qx200.bin"},
            {"length", 2000},
            {"bytes", 2048},
            {"blocks", 32},
            {"repeats", i % 3},
            {"sha256", good ? sha : QString(64, QLatin1Char('b'))},
            {"image_sha256", sha},
            {"outcome", good ? "good" : "transfer"},
            {"message", good ? "" : "No reply at block 5 of 32 (last reply 44)"},
            {"started", shape.start.addSecs(i).toString(Qt::ISODateWithMs)},
            {"seconds", 4.0 + i % 5}};
        out += QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    }
    return out;
}

}  // namespace testsupport
