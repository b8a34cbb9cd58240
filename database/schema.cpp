#include "database/schema.h"

#include <QDateTime>
#include <QStringBuilder>
#include <algorithm>

#include "database/summary_sql.h"
#include "record/first_pass.h"

namespace quarn::records {

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

namespace {

QString viewStatement() {
    // From the summaries: a day costs its hours' rows, not its sessions.
    // Held records are no sessions (counted apart); a row without started
    // has no day. Columns are only ever added at the end: CREATE OR REPLACE
    // VIEW keeps a view made by an earlier version that way. Days are UTC
    // days, as the summaries' hours are, whatever the reader's TimeZone.
    const QString day = QStringLiteral(
        "CASE WHEN hour > '-infinity' THEN date_trunc('day', hour, 'UTC') END AS day");
    return QStringLiteral(
               "CREATE OR REPLACE VIEW quarn_yield_daily AS\n"
               "SELECT d.day, nullif(d.station, '') AS station, d.sessions, d.good, d.failed,\n"
               "       d.first_pass_yield, m.median AS median_seconds,\n"
               "       d.second_pass_yield, d.final_yield, d.held\n"
               "FROM (SELECT %1, station,\n"
               "        coalesce(sum(sessions) FILTER (WHERE %2), 0)::bigint AS sessions,\n"
               "        coalesce(sum(sessions) FILTER (WHERE outcome = 'good'), 0)::bigint AS "
               "good,\n"
               "        coalesce(sum(sessions) FILTER (WHERE outcome NOT IN ('good', '') AND %2),"
               " 0)::bigint AS failed,\n"
               "        sum(first_pass_good)::numeric / nullif(sum(units), 0) AS "
               "first_pass_yield,\n"
               "        sum(second_pass_good)::numeric / nullif(sum(units), 0) AS "
               "second_pass_yield,\n"
               "        sum(final_good)::numeric / nullif(sum(units), 0) AS final_yield,\n"
               "        coalesce(sum(sessions) FILTER (WHERE outcome = 'held'), 0)::bigint AS "
               "held\n"
               "      FROM quarn_summary_hours GROUP BY 1, 2) d\n"
               "LEFT JOIN (%3) m ON m.day IS NOT DISTINCT FROM d.day AND m.station = d.station;\n")
        .arg(day, sessionSql(),
             medianSql(QStringLiteral("day, station"),
                       QStringLiteral("(SELECT %1, station, tenths / 10.0 AS v, sessions AS n"
                                      " FROM quarn_summary_seconds)")
                           .arg(day)));
}

// A string as an SQL literal: E'...' with backslashes and quotes doubled,
// read the same whatever standard_conforming_strings says; NUL left out
// (text cannot hold it).
void appendText(QString& sql, const QString& text) {
    sql += QLatin1String("E'");
    const char16_t* const begin = reinterpret_cast<const char16_t*>(text.utf16());
    const char16_t* const end = begin + text.size();
    const char16_t* p = begin;
    while (p != end && *p != u'\'' && *p != u'\\' && *p != 0) ++p;
    if (p == end) {
        sql += text;  // nearly every value: nothing to double
    } else {
        for (const QChar c : text) {
            if (c == QLatin1Char('\'') || c == QLatin1Char('\\')) sql += c;
            if (!c.isNull()) sql += c;
        }
    }
    sql += QLatin1Char('\'');
}

// "2026-12-01T06:00:00.000Z" as quarn-flash writes it, a real moment: taken as
// it is, without the cost of parsing (a push's most frequent value).
bool isUtcStamp(const QString& t) {
    static const QString form = QStringLiteral("0000-00-00T00:00:00.000Z");
    if (t.size() != form.size()) return false;
    for (qsizetype i = 0; i < t.size(); ++i)
        if (form[i] == QLatin1Char('0') ? !t[i].isDigit() || t[i].unicode() > '9' : t[i] != form[i])
            return false;
    const auto num = [&](int at, int n) { return QStringView(t).mid(at, n).toInt(); };
    return QDate::isValid(num(0, 4), num(5, 2), num(8, 2)) && num(11, 2) < 24 && num(14, 2) < 60 &&
           num(17, 2) < 60;
}

// A string as a JSON string, in UTF-8; NUL left out (text cannot hold it).
void appendJsonText(QByteArray& json, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    json += '"';
    const auto plain = [](char c) { return uchar(c) >= 0x20 && c != '"' && c != '\\'; };
    if (std::all_of(utf8.begin(), utf8.end(), plain)) {
        json += utf8;  // nearly every value: nothing to escape
    } else {
        for (const char c : utf8) {
            if (plain(c)) {
                json += c;
            } else if (c == '"' || c == '\\') {
                json += '\\';
                json += c;
            } else if (c != 0) {
                json += "\\u00";
                json += "0123456789abcdef"[(uchar(c) >> 4) & 0xf];
                json += "0123456789abcdef"[uchar(c) & 0xf];
            }
        }
    }
    json += '"';
}

// The value of one key as JSON (as appendValue reads it); false when it is
// missing or of the wrong kind (the column stays NULL).
bool appendJsonValue(QByteArray& json, const QJsonValue& v, ColumnKind kind) {
    switch (kind) {
        case ColumnKind::Uuid:
        case ColumnKind::Text:
            if (v.isUndefined() || v.isNull()) return false;
            appendJsonText(json, v.isString() ? v.toString() : v.toVariant().toString());
            return true;
        case ColumnKind::Time: {
            const QString text = v.toString();
            if (isUtcStamp(text)) return appendJsonText(json, text), true;
            const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!t.isValid()) return false;
            appendJsonText(json, t.toUTC().toString(Qt::ISODateWithMs));
            return true;
        }
        case ColumnKind::Real:
            if (!v.isDouble()) return false;
            json += QByteArray::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
            return true;
        case ColumnKind::Count: {
            const double d = v.toDouble(-1e300);
            if (!v.isDouble() || d != qint64(d) || d < INT32_MIN || d > INT32_MAX) return false;
            json += QByteArray::number(int(d));
            return true;
        }
        case ColumnKind::Flag:
            if (!v.isBool()) return false;
            json += v.toBool() ? "true" : "false";
            return true;
    }
    return false;
}

// The value of one key as SQL, NULL when missing or of the wrong kind.
void appendValue(QString& sql, const QJsonValue& v, ColumnKind kind) {
    switch (kind) {
        case ColumnKind::Uuid:
        case ColumnKind::Text:
            if (v.isUndefined() || v.isNull()) break;
            return appendText(sql, v.isString() ? v.toString() : v.toVariant().toString());
        case ColumnKind::Time: {
            const QString text = v.toString();
            if (isUtcStamp(text)) return appendText(sql, text);
            const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!t.isValid()) break;
            return appendText(sql, t.toUTC().toString(Qt::ISODateWithMs));
        }
        case ColumnKind::Real:
            if (!v.isDouble()) break;
            sql += QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
            return;
        case ColumnKind::Count: {
            const double d = v.toDouble(-1e300);
            if (!v.isDouble() || d != qint64(d) || d < INT32_MIN || d > INT32_MAX) break;
            sql += QString::number(int(d));
            return;
        }
        case ColumnKind::Flag:
            if (!v.isBool()) break;
            sql += QLatin1String(v.toBool() ? "true" : "false");
            return;
    }
    sql += QLatin1String("NULL");
}

}  // namespace

QStringList schemaStatements() {
    QString table = QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_sessions (\n");
    for (const Column& c : columns()) {
        table += QStringLiteral("    \"%1\" %2")
                     .arg(QLatin1String(c.key), QLatin1String(sqlType(c.kind)));
        if (c.kind == ColumnKind::Uuid) table += QStringLiteral(" NOT NULL");
        table += QLatin1String(&c == &columns().last() ? "\n" : ",\n");
    }
    table += QStringLiteral(") PARTITION BY RANGE (started);\n");
    // A partitioned table's unique keys hold its partition key: (id, started)
    // keeps a record's row one (NULLS NOT DISTINCT: a record without started
    // too), so a push sent again inserts nothing; quarn_sessions_one_id
    // refuses another record under an id already taken.
    table.insert(table.lastIndexOf(QLatin1String("\n) PARTITION")),
                 QStringLiteral(",\n    first_pass boolean,  -- the serial number's first session\n"
                                "    pushed_by text,  -- the login that inserted the row\n"
                                "    received_at timestamptz,  -- the server's time of the insert\n"
                                "    server_approved boolean,  -- the approved list's verdict\n"
                                "    CONSTRAINT quarn_sessions_record UNIQUE NULLS NOT DISTINCT "
                                "(id, started)"));
    return QStringList{table,
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_started "
                                      "ON quarn_sessions (started);\n"),
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_station_started "
                                      "ON quarn_sessions (station, started);\n"),
                       QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_sessions_serial "
                                      "ON quarn_sessions (serial, started, id);\n"),
                       // Tables made by an earlier version lack the approved list's word.
                       QStringLiteral("ALTER TABLE quarn_sessions "
                                      "ADD COLUMN IF NOT EXISTS approved boolean;\n")} +
           partitionStatements() + firstPassTriggerStatements() + stampTriggerStatements() +
           // The summaries read the stamped columns an older table gains first.
           summaryStatements() + QStringList{viewStatement()} + plantStatements() +
           imageStatements() + historyStatements() + socketServiceStatements() +
           attemptsStatements() + pushStatements() + pastMonthStatements();
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

QStringList recordMonths(const QList<QJsonObject>& records) {
    QStringList months;
    for (const QJsonObject& r : records) {
        const QString started = r.value(QLatin1String(key::started)).toString();
        // quarn-flash writes UTC ("...Z"): its month is its first seven characters.
        QString month = started.endsWith(QLatin1Char('Z')) ? started.left(7) : QString();
        if (!QDate::fromString(month + QStringLiteral("-01"), Qt::ISODate).isValid()) {
            const QDateTime t = QDateTime::fromString(started, Qt::ISODateWithMs);
            if (!t.isValid()) continue;
            month = t.toUTC().toString(QStringLiteral("yyyy-MM"));
        }
        if (!months.contains(month)) months << month;
    }
    return months;
}

QString monthsStatement(const QStringList& months) {
    QStringList starts;
    for (const QString& m : months) starts << QLatin1Char('\'') + m + QStringLiteral("-01Z'");
    return QStringLiteral("SELECT quarn_sessions_months(ARRAY[%1]::timestamptz[])")
        .arg(starts.join(QLatin1Char(',')));
}

QByteArray rowsJson(const QList<QJsonObject>& records) {
    QByteArray json;
    json.reserve(records.size() * 700);
    json += '[';
    for (const QJsonObject& r : records) {
        json += &r == &records.first() ? "{" : ",{";
        bool first = true;
        for (const Column& c : columns()) {
            const qsizetype before = json.size();
            json += first ? "\"" : ",\"";
            json += c.key;
            json += "\":";
            if (appendJsonValue(json, r.value(QLatin1String(c.key)), c.kind))
                first = false;
            else
                json.truncate(before);
        }
        json += '}';
    }
    json += ']';
    return json;
}

QByteArray monthsArray(const QStringList& months) {
    QByteArray text = "{";
    for (const QString& m : months) text += (text.size() > 1 ? "," : "") + m.toLatin1() + "-01Z";
    return text + '}';
}

QString insertStatement(const QList<QJsonObject>& records) {
    QString sql = QStringLiteral("INSERT INTO quarn_sessions (");
    for (const Column& c : columns()) sql += QLatin1Char('"') % QLatin1String(c.key) % "\",";
    sql.chop(1);
    sql += QStringLiteral(") VALUES ");
    for (const QJsonObject& r : records) {
        sql += QLatin1String(&r == &records.first() ? "(" : ",(");
        for (const Column& c : columns()) {
            appendValue(sql, r.value(QLatin1String(c.key)), c.kind);
            sql += QLatin1Char(',');
        }
        sql.chop(1);
        sql += QLatin1Char(')');
    }
    return sql + QStringLiteral(" ON CONFLICT DO NOTHING");
}

}  // namespace quarn::records
