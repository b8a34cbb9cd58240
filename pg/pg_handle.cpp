#include "pg/pg_handle.h"

#include <libpq-fe.h>

#include <QSqlDriver>
#include <QVariant>

namespace quarn::pg {

pg_conn* pgConnectionOf(const QSqlDatabase& db) {
    const QVariant v = db.driver() ? db.driver()->handle() : QVariant();
    // Named as the compiler spells the struct behind libpq's typedef.
    const char* type = v.isValid() ? v.typeName() : "";
    if (qstrcmp(type, "pg_conn*") != 0 && qstrcmp(type, "PGconn*") != 0) return nullptr;
    return *static_cast<PGconn* const*>(v.constData());
}

}  // namespace quarn::pg
