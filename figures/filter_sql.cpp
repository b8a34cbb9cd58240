#include "figures/filter_sql.h"

namespace quarn::figures {

QString whereAnd(const records::RecordFilter& filter, const QString& condition, QVariantList* binds,
                 const QString& alias) {
    const QString where = records::filterSql(filter, binds, alias);
    return where.isEmpty() ? QStringLiteral(" WHERE ") + condition
                           : where + QStringLiteral(" AND ") + condition;
}

}  // namespace quarn::figures
