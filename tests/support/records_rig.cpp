#include "tests/support/records_rig.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QtTest>

#include "image/blocks.h"
#include "tests/support/test_support.h"

namespace testsupport {

QList<int> pushersOf(const QString& log) {
    QList<int> pids;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QList<QByteArray> args = f.readAll().split('\0');
        if (args.size() > 2 && args[0].endsWith("quarn-records") && args.contains("push") &&
            args.contains(QFile::encodeName(log)))
            pids << pid.toInt();
    }
    return pids;
}

SilentServer::SilentServer() : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) == 0 && ::listen(fd, 16) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
}

SilentServer::~SilentServer() { ::close(fd); }

Run finish(QProcess& p) {
    Run r;
    if (!p.waitForFinished(120000)) p.kill(), p.waitForFinished();
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(p.readAllStandardError());
    return r;
}

QString flashPath() { return QStringLiteral(QUARN_FLASH_PATH); }
QString recordsPath() { return QStringLiteral(QUARN_RECORDS_PATH); }

QByteArray recordLine(const QJsonObject& changes) {
    QJsonObject o = QJsonDocument::fromJson(sampleRecords(1)).object();
    for (auto it = changes.begin(); it != changes.end(); ++it)
        it.value().isNull() ? void(o.remove(it.key())) : void(o[it.key()] = it.value());
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QList<int> pushFigures(const QString& out) {
    static const QRegularExpression re(
        QStringLiteral("(\\d+) record\\(s\\) sent, (\\d+) new; (\\d+) wait"));
    const auto m = re.match(out);
    return m.hasMatch()
               ? QList<int>{m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt()}
               : QList<int>{-1, -1, -1};
}

bool endPushers(const QString& log) {
    for (int pid : pushersOf(log)) ::kill(pid, SIGTERM);
    return QTest::qWaitFor([&] { return pushersOf(log).isEmpty(); }, 10000);
}

bool RecordsRig::startServer() {
    pg_ = std::make_unique<PgServer>();
    return pg_->ok() || (qWarning("%s", qPrintable(pg_->error())), false);
}

bool RecordsRig::freshDatabase() {
    qunsetenv("QUARN_PUSH_TIME_LIMIT");
    pg_->unlockTable();
    log_ = dir_.filePath(
        QStringLiteral("%1-%2.jsonl").arg(QTest::currentTestFunction(), QTest::currentDataTag()));
    return pg_->freshSchema();
}

void RecordsRig::start(QProcess& p, const QString& program, const QStringList& args,
                       const QString& db) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUARN_DB"), db);
    p.setProcessEnvironment(env);
    p.start(program, args);
    QVERIFY(p.waitForStarted());
}

Run RecordsRig::records(const QStringList& args, const QString& db) {
    QProcess p;
    start(p, recordsPath(), args, db);
    return finish(p);
}

Run RecordsRig::push(const QString& user) {
    return records({QStringLiteral("push"), QStringLiteral("--log"), log_}, pg_->url(user));
}

Run RecordsRig::flash(const QString& port, const QString& db) {
    const QString file = writeFile(dir_.path(), QStringLiteral("fw.bin"), patternBytes(1000));
    QProcess p;
    start(p, flashPath(),
          {"--file", file, "--length", "1000", "--json", "--log", log_, "-p", port, "--station",
           "bay-3", "--operator", "ann", "--serial", port + "=SN-9"},
          db);
    QElapsedTimer clock;
    clock.start();
    Run r = finish(p);
    r.ms = clock.elapsed();
    return r;
}

bool RecordsRig::applyRoles() {
    const Run schema = records({"schema"}), roles = records({"schema", "--roles"});
    const QString out = pg_->sql(schema.out + roles.out + roles.out + PgServer::loginsSql());
    if (schema.exit == 0 && roles.exit == 0 && !out.contains("ERROR")) return true;
    return qWarning("%s", qPrintable(out)), false;
}

QString RecordsRig::initFolder(QString* sha) {
    const QString folder = dir_.filePath(QStringLiteral("init"));
    QDir().mkpath(folder);
    const QByteArray fw = patternBytes(1000, 11);
    writeFile(folder, QStringLiteral("fw.bin"), fw);
    writeFile(folder, QStringLiteral("Init.txt"),
              "QX-200\r\nline\r\nline\r\nStepEnd\r\nfw.bin\r\n1000\r\nDone\r\nQX-200 fw\r\n");
    *sha = QString::fromLatin1(quarn::imageSha256(fw, 1000).toHex());
    return folder;
}

int RecordsRig::rows() {
    return pg_->sql(QStringLiteral("SELECT count(*) FROM quarn_sessions")).toInt();
}

void RecordsRig::writeLog(const QByteArray& text) {
    QFile f(log_);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append) && f.write(text) == text.size());
}

bool RecordsRig::serverIdle() {
    return QTest::qWaitFor(
        [&] {
            return pg_->sql(
                       "SELECT count(*) FROM pg_stat_activity WHERE backend_type ="
                       " 'client backend' AND pid <> pg_backend_pid()") == "0";
        },
        30000);
}

}  // namespace testsupport
