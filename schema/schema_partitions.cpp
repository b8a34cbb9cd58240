// quarn_sessions by month: its default partition, the function that makes a
// month's partition when a push first brings a record of it, and the check
// that keeps each id one record's across every partition.
#include <QStringBuilder>

#include "schema/schema.h"

namespace quarn::schema {

namespace {

// Only on the partitioned table: a table made by an earlier version keeps
// working as it is until its owner migrates it.
QString whenPartitioned(const QString& statement) {
    return QStringLiteral(
               "DO $$ BEGIN\n"
               "  IF (SELECT relkind FROM pg_class WHERE oid = to_regclass('quarn_sessions'))"
               " = 'p' THEN\n    ") %
           statement % QStringLiteral("\n  END IF;\nEND $$;\n");
}

// Makes the partitions of the months given that lack one, from January 2000
// to next month (a clock far off leaves its rows in the default partition,
// and makes no partition of its own). Rows of such a month already in the
// default partition move to it. The default partition is locked first:
// every push that routed a row there has ended, none can route one there
// meanwhile, and two makers of one month take turns. A push calls it in a
// transaction of its own, before its rows: the lock is then held by nothing
// that waits for the pushes' turn, which a push's trigger holds while it
// reads the default partition. A month archived (its partition detached
// under its name) is not made again: its late records stay in the default
// partition.
QString monthsFunction() {
    const QString body = QStringLiteral(
        "DECLARE\n"
        "  m timestamptz;\n"
        "  part text;\n"
        "  home text;  -- the schema quarn_sessions is in: pg_catalog comes first on the path\n"
        "BEGIN\n"
        "  SELECT n.nspname INTO home FROM pg_class c JOIN pg_namespace n ON n.oid = "
        "c.relnamespace\n"
        "    WHERE c.oid = to_regclass('quarn_sessions') AND c.relkind = 'p';\n"
        "  IF home IS NULL THEN\n"
        "    RETURN;\n"
        "  END IF;\n"
        "  FOR m IN SELECT DISTINCT date_trunc('month', t, 'UTC') FROM unnest(months) t\n"
        "      WHERE t >= '2000-01-01Z'\n"
        "        AND t < date_trunc('month', now(), 'UTC') + interval '2 months' LOOP\n"
        "    part := quote_ident(home) || '.quarn_sessions_' || to_char(m AT TIME ZONE 'UTC',"
        " 'YYYY_MM');\n"
        "    CONTINUE WHEN to_regclass(part) IS NOT NULL;\n"
        "    LOCK TABLE quarn_sessions_default IN ACCESS EXCLUSIVE MODE;\n"
        "    CONTINUE WHEN to_regclass(part) IS NOT NULL;\n"
        "    EXECUTE format('CREATE TABLE %s (LIKE quarn_sessions INCLUDING DEFAULTS INCLUDING "
        "CONSTRAINTS)', part);\n"
        "    EXECUTE format('WITH moved AS (DELETE FROM quarn_sessions_default'\n"
        "      ' WHERE started >= %L AND started < %L RETURNING *) INSERT INTO %s'\n"
        "      ' SELECT * FROM moved', m, m + interval '1 month', part);\n"
        "    EXECUTE format('ALTER TABLE quarn_sessions ATTACH PARTITION %s'\n"
        "      ' FOR VALUES FROM (%L) TO (%L)', part, m, m + interval '1 month');\n"
        "  END LOOP;\n"
        "END\n");
    return pinnedFunction(QStringLiteral("quarn_sessions_months(months timestamptz[]) RETURNS void"
                                         " LANGUAGE plpgsql SECURITY DEFINER"),
                          body);
}

// An id names one record: a row whose id another row of another start holds
// is refused (unique_violation, so a push keeps it in LOG.rejected) whatever
// partition either is in. Pushes take their turns first (as the first-pass
// trigger does), so two at once are judged one after the other.
QString oneIdFunction() {
    const QString body = QStringLiteral(
        "DECLARE\n"
        "  taken uuid;\n"
        "BEGIN\n"
        "  PERFORM FROM quarn_push_lock FOR UPDATE;\n"
        "  SELECT n.id INTO taken FROM quarn_one_id_new n JOIN quarn_sessions s ON s.id = n.id\n"
        "    AND s.started IS DISTINCT FROM n.started LIMIT 1;\n"
        "  IF taken IS NOT NULL THEN\n"
        "    RAISE EXCEPTION 'id % is another record''s already', taken\n"
        "      USING ERRCODE = 'unique_violation';\n"
        "  END IF;\n"
        "  RETURN NULL;\n"
        "END\n");
    return pinnedFunction(
        QStringLiteral("quarn_sessions_one_id() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER"),
        body);
}

}  // namespace

QStringList partitionStatements() {
    return {whenPartitioned(QStringLiteral(
                "CREATE TABLE IF NOT EXISTS quarn_sessions_default PARTITION OF quarn_sessions "
                "DEFAULT;")),
            monthsFunction(),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_months(timestamptz[]) "
                           "FROM PUBLIC;\n"),
            // Stations of a database whose roles were made before the
            // function push on once its owner applies the schema again.
            QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = "
                           "'quarn_station') THEN\n"
                           "  GRANT EXECUTE ON FUNCTION quarn_sessions_months(timestamptz[]) TO "
                           "quarn_station;\nEND IF; END $$;\n"),
            oneIdFunction(),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_one_id() FROM PUBLIC;\n"),
            whenPartitioned(QStringLiteral(
                "IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'quarn_sessions_one_id'\n"
                "      AND tgrelid = to_regclass('quarn_sessions')) THEN\n"
                "      CREATE TRIGGER quarn_sessions_one_id AFTER INSERT ON quarn_sessions\n"
                "        REFERENCING NEW TABLE AS quarn_one_id_new\n"
                "        FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_one_id();\n"
                "    END IF;"))};
}

}  // namespace quarn::schema
