#include "records/connection.h"

#include <QAtomicInteger>
#include <QSqlError>

namespace quarn::records {

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
        *why = QStringLiteral("Qt's PostgreSQL driver is not installed (Debian: libqt6sql6-psql)");
        return false;
    }
    db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name_);
    if (!t.host.isEmpty()) db_.setHostName(t.host);
    if (t.port > 0) db_.setPort(t.port);
    db_.setDatabaseName(t.database);
    db_.setUserName(t.user);
    db_.setConnectOptions(t.options.join(QLatin1Char(';')));
    if (db_.open()) return true;
    *why = QStringLiteral("cannot reach the database: %1").arg(db_.lastError().text());
    return false;
}

}  // namespace quarn::records
