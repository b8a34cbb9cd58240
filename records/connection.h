#pragma once
// One connection to the records' database, of its own name, made and used on
// the calling thread and removed when destroyed.

#include <QSqlDatabase>
#include <QString>

#include "records/database_url.h"

namespace quarn::records {

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits at most the target's connect_timeout. False with *why (from the
    // driver's own text) when the server cannot be reached or refuses.
    bool open(const DatabaseTarget& target, QString* why);
    QSqlDatabase& db() { return db_; }

private:
    QString name_;
    QSqlDatabase db_;
};

}  // namespace quarn::records
