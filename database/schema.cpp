#include "database/schema.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlField>
#include <QStringBuilder>

#include "record/first_pass.h"

namespace quarn::records {

namespace {

const char* sqlType(ColumnKind kind) {
    switch (kind) {
        case ColumnKind::Uuid:
            return "uuid";
        case ColumnKind::Time:
            return "timestamptz";
        case ColumnKind::Real:
            return "double precision";
        case ColumnKind::Count:
            return "integer";
        case ColumnKind::Text:
            return "text";
        case ColumnKind::Flag:
            return "boolean";
    }
    return "text";
}

QString viewStatement() {
    return QStringLiteral(
               "CREATE OR REPLACE VIEW quarn_yield_daily AS\n"
               "SELECT date_trunc('day', started) AS day, station,\n"
               "       count(*) AS sessions,\n"
               "       count(*) FILTER (WHERE outcome = 'good') AS good,\n"
               "       count(*) FILTER (WHERE outcome <> 'good') AS failed,\n"
               "       avg(CASE WHEN outcome = 'good' THEN 1.0 ELSE 0.0 END)\n"
               "         FILTER (WHERE %1) AS first_pass_yield,\n"
               "       percentile_cont(0.5) WITHIN GROUP (ORDER BY seconds) AS median_seconds\n"
               "FROM quarn_sessions\n"
               "GROUP BY 1, 2;\n")
        .arg(unitSql());
}

// The value of one key as SQL, NULL when missing or of the wrong kind.
QVariant columnValue(const QJsonValue& v, ColumnKind kind) {
    switch (kind) {
        case ColumnKind::Uuid:
        case ColumnKind::Text:
            if (v.isUndefined() || v.isNull()) return {};
            return v.isString() ? v.toString().remove(QChar(0)) : v.toVariant().toString();
        case ColumnKind::Time: {
            const QDateTime t = QDateTime::fromString(v.toString(), Qt::ISODateWithMs);
            return t.isValid() ? QVariant(t.toUTC().toString(Qt::ISODateWithMs)) : QVariant();
        }
        case ColumnKind::Real:
            return v.isDouble() ? QVariant(v.toDouble()) : QVariant();
        case ColumnKind::Count: {
            const double d = v.toDouble(-1e300);
            const bool whole = v.isDouble() && d == qint64(d) && d >= INT32_MIN && d <= INT32_MAX;
            return whole ? QVariant(int(d)) : QVariant();
        }
        case ColumnKind::Flag:
            return v.isBool() ? QVariant(v.toBool()) : QVariant();
    }
    return {};
}

}  // namespace

QStringList schemaStatements() {
    QString table = QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_sessions (\n");
    for (const Column& c : columns()) {
        table += QStringLiteral("    \"%1\" %2")
                     .arg(QLatin1String(c.key), QLatin1String(sqlType(c.kind)));
        if (c.kind == ColumnKind::Uuid) table += QStringLiteral(" PRIMARY KEY");
        table += QLatin1String(&c == &columns().last() ? "\n" : ",\n");
    }
    table += QStringLiteral(");\n");
    table.insert(table.lastIndexOf(QLatin1String("\n);")),
                 QStringLiteral(",\n    first_pass boolean,  -- the serial number's first session\n"
                                "    pushed_by text,  -- the login that inserted the row\n"
                                "    received_at timestamptz,  -- the server's time of the insert\n"
                                "    server_approved boolean  -- the approved list's verdict"));
    return QStringList{table,
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_started "
                                      "ON quarn_sessions (started);\n"),
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_station_started "
                                      "ON quarn_sessions (station, started);\n"),
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_serial "
                                      "ON quarn_sessions (serial, started, id);\n"),
                       // Tables made by an earlier version lack the approved list's word.
                       QStringLiteral("ALTER TABLE quarn_sessions "
                                      "ADD COLUMN IF NOT EXISTS approved boolean;\n"),
                       viewStatement()} +
           firstPassTriggerStatements() + stampTriggerStatements() + plantStatements() +
           imageStatements() + summaryStubStatements();
}

QString oneTransaction(const QStringList& statements) {
    return QStringLiteral("BEGIN;\n") + statements.join(QString()) + QStringLiteral("COMMIT;\n");
}

QString mismatchSql() { return QStringLiteral("(approved <> server_approved)"); }

QStringList plantStatements() {
    // Each station's latest failure, for the plant's tiles.
    return QStringList{QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_failures "
                                      "ON quarn_sessions (station, started) "
                                      "WHERE outcome IS DISTINCT FROM 'good';\n")} +
           notifyTriggerStatements();
}

namespace {

QString sqlText(const QVariant& v, const QSqlDriver& driver) {
    QSqlField field(QString(), v.isValid() ? v.metaType() : QMetaType::fromType<QString>());
    field.setValue(v);
    return driver.formatValue(field);
}

}  // namespace

QString insertStatement(const QList<QJsonObject>& records, const QSqlDriver& driver) {
    QString sql = QStringLiteral("INSERT INTO quarn_sessions (");
    for (const Column& c : columns()) sql += QLatin1Char('"') % QLatin1String(c.key) % "\",";
    sql.chop(1);
    sql += QStringLiteral(") VALUES ");
    for (const QJsonObject& r : records) {
        sql += QLatin1String(&r == &records.first() ? "(" : ",(");
        for (const Column& c : columns())
            sql += sqlText(columnValue(r.value(QLatin1String(c.key)), c.kind), driver) % ",";
        sql.chop(1);
        sql += QLatin1Char(')');
    }
    return sql + QStringLiteral(" ON CONFLICT DO NOTHING");
}

}  // namespace quarn::records
