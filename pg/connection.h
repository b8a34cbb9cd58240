#pragma once
// One connection to the records' database, of its own name, made and used on
// the calling thread and removed when destroyed.

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

#include "pg/database_url.h"

namespace quarn::pg {

// What a failed statement means, from its SQLSTATE (QSqlError's
// nativeErrorCode), never from its text.
enum class Problem {
    Busy,     // 55P03 lock not available, 57014 statement cancelled (a time limit)
    Denied,   // 42501 insufficient privilege; class 28, the login refused
    Lost,     // 08xxx, or no code at all: the connection failed or is gone
    Refused,  // anything else the server would not do
};
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most the target's connect_timeout. False with *why (the
    // driver's own text after ours) when the server cannot be reached or
    // refuses; openProblem() then says which, from the server's SQLSTATE
    // (pg/login_answer.h), never from the text: Denied for a login the
    // server refused (class 28: a role without LOGIN, a wrong password, no
    // pg_hba.conf entry), said "the database refused the login of USER";
    // Lost when no server answered, or one that cannot take connections now
    // (57P03 starting or stopping, class 53 too many connections);
    // Refused for any other answer (3D000: no such database).
    bool open(const DatabaseTarget& target, QString* why);
    Problem openProblem() const { return openProblem_; }
    QSqlDatabase& db() { return db_; }

    // Sets lock_timeout and statement_timeout to ms for the session; false
    // with *why (describe()) when the server refuses.
    bool limit(int ms, QString* why);

private:
    QString name_;
    Problem openProblem_ = Problem::Lost;
    QSqlDatabase db_;
};

Problem problemOf(const QSqlError& error);
// "the database is busy: TEXT", "the database refused: TEXT", ...
QString describe(const QSqlError& error);

// "not permitted: WORK needs the role ROLE" (WORK: "pushing", "approving", ...).
QString notPermittedText(const QString& work, const QString& role);

// How long one statement, or the wait for one lock, may take: 30 s, or
// QUARN_PUSH_TIME_LIMIT seconds when that is set to a whole number above 0.
constexpr int kStatementLimitS = 30;
int statementLimitMs();

// The statements that give the rest of a transaction (local) or session
// lock_timeout and statement_timeout of ms.
QString limitStatements(int ms, bool local);

}  // namespace quarn::pg
