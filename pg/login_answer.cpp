#include "pg/login_answer.h"

#include <libpq-fe.h>
#include <poll.h>

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <cerrno>
#include <memory>

namespace quarn::pg {

namespace {

struct Finish {
    void operator()(PGconn* c) const { PQfinish(c); }
};

// Drives the startup until it ends or the deadline passes; the last status.
PostgresPollingStatusType drive(PGconn* conn, const QDeadlineTimer& deadline) {
    PostgresPollingStatusType status = PGRES_POLLING_WRITING;  // as after PQconnectStart
    while (status == PGRES_POLLING_READING || status == PGRES_POLLING_WRITING) {
        pollfd p{PQsocket(conn), short(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const qint64 left = deadline.remainingTime();
        if (p.fd < 0 || left <= 0) return PGRES_POLLING_ACTIVE;  // gave up
        const int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno != EINTR) return PGRES_POLLING_ACTIVE;
        if (ready > 0) status = PQconnectPoll(conn);
    }
    return status;
}

}  // namespace

QString sqlstateOfLoginMessage(const QString& message) {
    // The last line libpq wrote: earlier ones are of hosts tried before.
    static const QRegularExpression code(QStringLiteral(":  ([0-9A-Z]{5})\\s*$"));
    const QStringList lines = message.trimmed().split(QLatin1Char('\n'));
    const auto m = code.match(lines.last());
    return m.hasMatch() ? m.captured(1) : QString();
}

LoginAnswer askLogin(const DatabaseTarget& target, int ms) {
    LoginAnswer answer;
    if (ms <= 0) return answer;
    const QDeadlineTimer deadline(ms);
    const std::unique_ptr<PGconn, Finish> conn(
        PQconnectStart(connectionString(target).toUtf8().constData()));
    if (!conn) return answer;
    PQsetErrorVerbosity(conn.get(), PQERRORS_SQLSTATE);
    answer.user = QString::fromUtf8(PQuser(conn.get()));
    if (PQstatus(conn.get()) == CONNECTION_BAD ||
        drive(conn.get(), deadline) != PGRES_POLLING_FAILED)
        return answer;
    answer.sqlstate = sqlstateOfLoginMessage(QString::fromUtf8(PQerrorMessage(conn.get())));
    return answer;
}

}  // namespace quarn::pg
