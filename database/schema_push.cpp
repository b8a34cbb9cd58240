// How a station adds rows: CALL quarn_push(rows, months), a procedure that
// commits. A transaction a station could leave open would hold what a push
// holds until its commit (the pushes' turn, the summaries' rows, the default
// partition while a month is made), and every other station's push would
// wait on it. So a station has no INSERT on quarn_sessions and no way to
// make a month of its own: quarn_push commits first (which the server
// refuses inside a caller's transaction, an implicit one of several
// statements sent at once included), makes the months in a transaction of
// its own, then inserts the rows in another, and commits: nothing it takes
// outlives its CALL statement. The work itself is done by two functions run
// as the owner, which refuse to run unless quarn_push itself called them.
#include <QStringBuilder>

#include "database/schema.h"

namespace quarn::records {

namespace {

const char kPushSignature[] = "quarn_push(json,timestamp with time zone[],bigint)";

// plpgsql: raises 42501 unless the statement the client sent is a CALL of
// quarn_push of this schema: the outermost frame of the server's call stack
// (its last line) names it as the server names it (its own schema's name
// before it when that schema is not on the session's path; a procedure of
// another schema, pg_temp's included, named so too). Between that frame
// and this function runs only quarn_push's own body. Only the signature and
// the characters around it are read, never the server's words, which are
// in its own language.
QString callerCheck() {
    return QStringLiteral(
               "  GET DIAGNOSTICS stack = PG_CONTEXT;\n"
               "  caller := substring(stack from '[^\\n]*$');\n"
               "  at := strpos(caller, '%1');\n"
               "  IF at = 0 OR (substr(caller, at - 1, 1) ~ '[[:alnum:]_$.\"]'\n"
               "      AND right(left(caller, at - 1), length(@home@) + 1) <> @home@ || '.') THEN\n"
               "    RAISE EXCEPTION 'rows are added only by CALL quarn_push(rows, months)'\n"
               "      USING ERRCODE = 'insufficient_privilege';\n"
               "  END IF;\n")
        .arg(QLatin1String(kPushSignature));
}

QString checkDeclarations() {
    return QStringLiteral(
        "  stack text;\n"
        "  caller text;\n"
        "  at integer;\n");
}

// The months a push brings, made when they lack a partition: only last
// month, this month and next month (UTC), never waiting for a lock (the rows
// then go to the default partition, and a later push or the owner makes the
// month). Older records go to the default partition; the owner makes their
// months (quarn_sessions_months, the schema applied again).
QString pushMonthsFunction() {
    const QString body =
        QStringLiteral("DECLARE\n") % checkDeclarations() %
        QStringLiteral(
            "  this timestamp := date_trunc('month', now() AT TIME ZONE 'UTC');\n"
            "  t timestamp;\n"
            "BEGIN\n") %
        callerCheck() %
        QStringLiteral(
            "  FOR t IN SELECT DISTINCT date_trunc('month', x AT TIME ZONE 'UTC')"
            " FROM unnest(months) x ORDER BY 1 LOOP\n"
            "    CONTINUE WHEN t < this - interval '1 month' OR t > this + interval '1 month';\n"
            "    PERFORM quarn_sessions_month(t AT TIME ZONE 'UTC', false);\n"
            "  END LOOP;\n"
            "END\n");
    return pinnedFunction(QStringLiteral("quarn_push_months(months timestamptz[]) RETURNS void"
                                         " LANGUAGE plpgsql SECURITY DEFINER"),
                          body);
}

// The rows of a JSON array of records (each key a column; missing keys
// NULL), inserted as the owner, idempotent; the number inserted.
QString pushRowsFunction() {
    QString names, typed;
    for (const Column& c : columns()) {
        const QString name = QLatin1Char('"') + QLatin1String(c.key) + QLatin1Char('"');
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + name;
        typed += (typed.isEmpty() ? QString() : QStringLiteral(", ")) + name + QLatin1Char(' ') +
                 QLatin1String(sqlType(c.kind));
    }
    const QString body =
        QStringLiteral("DECLARE\n") % checkDeclarations() %
        QStringLiteral(
            "  added bigint;\n"
            "BEGIN\n") %
        callerCheck() %
        QStringLiteral(
            "  INSERT INTO quarn_sessions (%1) SELECT %1 FROM json_to_recordset(rows)"
            " AS r(%2) ON CONFLICT DO NOTHING;\n"
            "  GET DIAGNOSTICS added = ROW_COUNT;\n"
            "  RETURN added;\n"
            "END\n")
            .arg(names, typed);
    return pinnedFunction(QStringLiteral("quarn_push_rows(rows json) RETURNS bigint"
                                         " LANGUAGE plpgsql SECURITY DEFINER"),
                          body);
}

// The procedure runs with the caller's rights and no SET clause: the server
// allows COMMIT in neither a SECURITY DEFINER procedure nor one with SET.
// What it calls is named with its schema, so no path of a caller's changes
// what runs.
QString pushProcedure() {
    return QStringLiteral(
        "DO $quarn$ BEGIN EXECUTE format(\n"
        "  'CREATE OR REPLACE PROCEDURE quarn_push(rows json, months timestamptz[],"
        " INOUT added bigint DEFAULT NULL) LANGUAGE plpgsql AS %L',\n"
        "  replace($body$\n"
        "BEGIN\n"
        "  COMMIT;  -- the call's own transactions: refused inside a caller's\n"
        "  IF cardinality(months) > 0 THEN\n"
        "    PERFORM @schema@.quarn_push_months(months);\n"
        "    COMMIT;\n"
        "  END IF;\n"
        "  added := @schema@.quarn_push_rows(rows);\n"
        "  COMMIT;\n"
        "END\n"
        "$body$, '@schema@', quote_ident(current_schema())));\nEND $quarn$;\n");
}

}  // namespace

QStringList pushStatements() {
    return {
        pushMonthsFunction(),
        QStringLiteral("REVOKE ALL ON FUNCTION quarn_push_months(timestamptz[]) FROM PUBLIC;\n"),
        pushRowsFunction(),
        QStringLiteral("REVOKE ALL ON FUNCTION quarn_push_rows(json) FROM PUBLIC;\n"),
        pushProcedure(),
        QStringLiteral("REVOKE ALL ON PROCEDURE quarn_push(json, timestamptz[], bigint) "
                       "FROM PUBLIC;\n"),
        // Stations of a database whose roles were made before: their
        // INSERT goes, quarn_push comes, once the owner applies the
        // schema again.
        QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = "
                       "'quarn_station') THEN\n  ") %
            pushGrantStatements().join(QStringLiteral("  ")) % QStringLiteral("END IF; END $$;\n")};
}

QStringList pushGrantStatements() {
    return {QStringLiteral("REVOKE INSERT ON quarn_sessions FROM quarn_station;\n"),
            QStringLiteral("GRANT EXECUTE ON PROCEDURE quarn_push(json, timestamptz[], bigint) "
                           "TO quarn_station;\n"),
            QStringLiteral("GRANT EXECUTE ON FUNCTION quarn_push_rows(json), "
                           "quarn_push_months(timestamptz[]) TO quarn_station;\n")};
}

QString pushCallSql() {
    return QStringLiteral("CALL quarn_push($1::json, $2::timestamptz[], NULL)");
}

}  // namespace quarn::records
