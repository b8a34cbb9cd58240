#pragma once
// A PostgreSQL server of the test's own: a fresh cluster in a temporary
// folder, listening only on a Unix socket in that folder, stopped and removed
// on destruction. Debian's server programs (initdb, pg_ctl, psql) run as the
// user "postgres" when the tests run as root, which the server refuses.
// Should the test die, the server ends by itself within a minute of its
// folder being removed.

#include <QByteArray>
#include <QDateTime>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace testsupport {

class PgServer {
public:
    // durable=false turns fsync off: quicker, for tests that never crash the
    // machine (a stopped server keeps every commit all the same).
    explicit PgServer(bool durable = false);
    ~PgServer();
    PgServer(const PgServer&) = delete;
    PgServer& operator=(const PgServer&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }
    // postgresql:///postgres?host=FOLDER&user=quarn (the superuser), or of another user.
    QString url(const QString& user = QString()) const;

    bool start();
    bool stop();  // immediate: as a crash or a pulled cable would
    // The server stops answering new connections (SIGSTOP to its postmaster:
    // a connection is accepted by the kernel and then hears nothing), until
    // resume(). False when its process cannot be found or signalled.
    bool pause();
    bool resume();
    // Runs SQL through psql, as the superuser or as user; the result's rows,
    // fields separated by '|'. On an error the output begins "ERROR".
    QString sql(const QString& statement, const QString& user = QString()) const;
    // Each statement sent on its own, in one session (several in one string
    // are one implicit transaction); stops at the first error.
    QString sql(const QStringList& statements, const QString& user) const;

    // The database as new: every object of the records' schema gone (the
    // schema public dropped and made again as a new database has it; the
    // cluster's roles stay). Then `schema` (`quarn-records schema` and
    // `schema --roles`, as an administrator applies them; may be empty) run
    // as the superuser, and one login of each group role made when missing:
    // st1 (quarn_station), eng1 (quarn_engineer), view1 (quarn_viewer; only
    // once the group roles exist). False, with the server's words in a
    // warning, on an error.
    bool freshSchema(const QString& schema = QString()) const;
    // The statement that makes those logins when missing: to run after the
    // roles on a schema kept.
    static QString loginsSql();

    // Another session holds LOCK TABLE table IN ACCESS EXCLUSIVE MODE, as a
    // dashboard's long transaction might: for at most seconds (then it lets
    // go by itself), until unlockTable(). True once the lock is held.
    bool lockTable(const QString& table, int seconds);
    void unlockTable();
    // Another session, as user, runs statements in a transaction it then
    // leaves open (for at most seconds, or until unlockTable()), as a
    // careless or hostile login would. True once it holds them open; false
    // when the server refused one of them (the session ended).
    bool holdOpen(const QString& statements, const QString& user, int seconds);

private:
    bool signal(int sig);
    bool run(const QString& program, const QStringList& args, QString* out = nullptr) const;
    void launch(QProcess& p, const QString& program, const QStringList& args) const;
    QStringList psqlArgs(const QStringList& statements, const QString& user = QString()) const;

    QTemporaryDir dir_;
    std::unique_ptr<QProcess> holder_;
    QString error_;
    bool durable_;
};

// Where and when sampleRecords' records are: record i at station
// "station-(i % stations)", socket (i / stations) % sockets (one by-id name
// when there is one socket, else "/dev/serial/by-path/slot-K"), serial
// number prefix + i, started i seconds after start.
struct SampleShape {
    int stations = 1;
    int sockets = 1;
    QDateTime start = QDateTime(QDate(2026, 12, 1), QTime(6, 0), Qt::UTC);
    QString serialPrefix = QStringLiteral("SN-");
};

// n records as quarn-flash writes them, one JSON line each: every key set,
// every seventh a transfer failure.
QByteArray sampleRecords(int n, const SampleShape& shape);
QByteArray sampleRecords(int n, int stations = 1);

}  // namespace testsupport
