#include "pg/connection.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>

#include "core/logging.h"
#include "core/settings.h"
#include "pg/login_answer.h"

namespace quarn::pg {

namespace {

// What the server's answer to a startup means (empty: no answer).
Problem loginProblem(const QString& sqlstate) {
    if (sqlstate.startsWith(QLatin1String("28"))) return Problem::Denied;
    if (sqlstate.isEmpty() || sqlstate.startsWith(QLatin1String("08")) ||
        sqlstate.startsWith(QLatin1String("53")) || sqlstate == QLatin1String("57P03"))
        return Problem::Lost;
    return Problem::Refused;
}

// Why the open failed, for people: the verdict, then the driver's words.
QString openFailureText(Problem problem, const QString& user, const QString& text) {
    if (problem == Problem::Denied)
        return QCoreApplication::translate("Connection", "the database refused the login of %1: %2")
            .arg(user, text);
    if (problem == Problem::Refused)
        return QCoreApplication::translate("Connection", "the database refused the connection: %1")
            .arg(text);
    return QCoreApplication::translate("Connection", "cannot reach the database: %1").arg(text);
}

}  // namespace

Connection::Connection() {
    static QAtomicInteger<int> serial;
    name_ = QStringLiteral("quarn-records-%1").arg(serial.fetchAndAddRelaxed(1));
}

Connection::~Connection() {
    if (!db_.isValid()) return;
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name_);
}

bool Connection::open(const DatabaseTarget& t, QString* why) {
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *why = QCoreApplication::translate(
            "Connection", "Qt's PostgreSQL driver is not installed (Debian: libqt6sql6-psql)");
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    if (!t.host.isEmpty()) db_.setHostName(t.host);
    if (t.port > 0) db_.setPort(t.port);
    db_.setDatabaseName(t.database);
    db_.setUserName(t.user);
    db_.setConnectOptions(t.options.join(QLatin1Char(';')));
    QElapsedTimer clock;
    clock.start();
    if (db_.open()) {
        qCDebug(lcPg).noquote() << "connected to" << t.database << "on" << t.host << "in"
                                << clock.elapsed() << "ms";
        return true;
    }
    const QString text = db_.lastError().text();
    // The driver keeps no SQLSTATE of a failed startup: ask the server again
    // in what is left of the time-out (none left: nobody answered).
    const int timeoutS = connectTimeoutS(t) > 0 ? connectTimeoutS(t) : kDefaultConnectTimeoutS;
    const LoginAnswer answer = askLogin(t, int(timeoutS * 1000 - clock.elapsed()));
    openProblem_ = loginProblem(answer.sqlstate);
    *why = openFailureText(openProblem_, answer.user, text);
    qCDebug(lcPg).noquote() << "no connection to" << t.database << "on" << t.host << ":" << *why;
    return false;
}

bool Connection::limit(int ms, QString* why) {
    QSqlQuery q(db_);
    if (q.exec(limitStatements(ms, false))) return true;
    *why = describe(q.lastError());
    return false;
}

Problem problemOf(const QSqlError& error) {
    const QString code = error.nativeErrorCode();
    if (code == QLatin1String("55P03") || code == QLatin1String("57014")) return Problem::Busy;
    if (code == QLatin1String("42501") || code.startsWith(QLatin1String("28")))
        return Problem::Denied;
    if (code.isEmpty() || code.startsWith(QLatin1String("08"))) return Problem::Lost;
    return Problem::Refused;
}

QString describe(const QSqlError& error) {
    const QString text = error.text();
    switch (problemOf(error)) {
        case Problem::Busy:
            return QCoreApplication::translate("Connection", "the database is busy: %1").arg(text);
        case Problem::Denied:
            return QCoreApplication::translate("Connection",
                                               "the database refused, no permission: %1")
                .arg(text);
        case Problem::Lost:
            return QCoreApplication::translate("Connection", "lost the database: %1").arg(text);
        case Problem::Refused:
            break;
    }
    return QCoreApplication::translate("Connection", "the database refused: %1").arg(text);
}

QString notPermittedText(const QString& work, const QString& role) {
    return QCoreApplication::translate("Connection", "not permitted: %1 needs the role %2")
        .arg(work, role);
}

QString limitStatements(int ms, bool local) {
    const QLatin1String scope(local ? "SET LOCAL" : "SET");
    return QStringLiteral("%1 lock_timeout = %2; %1 statement_timeout = %2").arg(scope).arg(ms);
}

int statementLimitMs() {
    const qlonglong s = resolvedSetting(SettingKey::PushTimeLimit).toLongLong();
    return int(s > 0 && s <= 24 * 3600 ? s : kStatementLimitS) * 1000;
}

}  // namespace quarn::pg
