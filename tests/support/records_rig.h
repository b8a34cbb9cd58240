#pragma once
// What the tests of the records' database share: a PostgreSQL server of the
// test's own (pg_server.h), the real quarn-records and quarn-flash run
// against it, a log of the test's own, and the roles applied as an
// administrator applies them. A test class derives from RecordsRig and
// calls startServer() in its initTestCase and freshDatabase() in its init.

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "tests/support/pg_server.h"

namespace testsupport {

struct Run {
    int exit = -1;
    QString out, err;
    qint64 ms = 0;
};

// The program's end (killed after two minutes), its status and output.
Run finish(QProcess& p);
QString flashPath();
QString recordsPath();

// One record as sampleRecords makes it, with these keys changed (a null
// value removes the key).
QByteArray recordLine(const QJsonObject& changes);
// The numbers of "N record(s) sent, M new; K wait".
QList<int> pushFigures(const QString& out);
// Processes of quarn-records pushing the log, found by their command lines.
QList<int> pushersOf(const QString& log);
// Ends the pushes of the log a program left behind; false when one stays.
bool endPushers(const QString& log);

// A TCP port on the loopback that takes connections into its backlog and
// never answers (port 0: none could be made).
struct SilentServer {
    SilentServer();
    ~SilentServer();
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    int fd = -1;
    int port = 0;
};

class RecordsRig : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<PgServer> pg_;
    QTemporaryDir dir_;
    QString log_;

    // The server started (false: it would not).
    bool startServer();
    // Every object of the schema gone, no time limit set, no lock held, and
    // a log of the test function's own.
    bool freshDatabase();
    // The program started with QUARN_DB set to db.
    void start(QProcess& p, const QString& program, const QStringList& args, const QString& db);
    Run records(const QStringList& args, const QString& db = {});
    Run push(const QString& user = QString());
    // quarn-flash loading a 1000-byte file into the unit on port.
    Run flash(const QString& port, const QString& db);
    // The schema and the roles applied as an administrator would, with
    // quarn-records' own SQL (the roles twice: they may be run again), and
    // one login role of each kind: st1, eng1, view1.
    bool applyRoles();
    // A folder with an Init.txt naming fw.bin, 1000 bytes; the sha256 a station computes.
    QString initFolder(QString* sha);
    int rows();
    void writeLog(const QByteArray& text);
    // Every session but the asking one has ended: what a push left running
    // on the server (it runs a batch sent whole to its end) is over.
    bool serverIdle();
};

}  // namespace testsupport
