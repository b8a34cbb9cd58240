// quarn_sessions by month: its default partition, the functions that make a
// month's partition (the owner's, any month; a push's, only the months
// around now and never waiting), and the check that keeps each id one
// record's across every partition.
#include <QStringBuilder>

#include "database/schema.h"

namespace quarn::records {

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

// Makes the partition of the month that m falls in (UTC), from January 2000
// to next month, when it lacks one (a clock far off leaves its rows in the
// default partition, and makes no partition of its own); rows of that month
// already in the default partition move to it. True when the month has its
// table (made now or before). The bounds are written out in UTC, whatever
// the caller's TimeZone and DateStyle: a month is midnight to midnight UTC.
// The parent (SHARE UPDATE EXCLUSIVE, as ATTACH takes it) and then the
// default partition are locked first: every push that routed a row there
// has ended, none can route one there meanwhile, and two makers take turns.
// wait false: a lock someone holds (a reader's open transaction on the
// default partition) gives up at once (false): the rows stay in the default
// partition, and a later call moves them. A month archived (its partition
// detached under its name) is not made again: its late records stay in the
// default partition.
QString monthFunction() {
    const QString body = QStringLiteral(
        "DECLARE\n"
        "  t timestamp := date_trunc('month', m AT TIME ZONE 'UTC');\n"
        "  home text;  -- the schema quarn_sessions is in: pg_catalog comes first on the path\n"
        "  part text;\n"
        "  lo text := to_char(t, 'YYYY-MM-DD') || ' 00:00:00+00';\n"
        "  hi text := to_char(t + interval '1 month', 'YYYY-MM-DD') || ' 00:00:00+00';\n"
        "BEGIN\n"
        "  SELECT n.nspname INTO home FROM pg_class c JOIN pg_namespace n ON n.oid = "
        "c.relnamespace\n"
        "    WHERE c.oid = to_regclass('quarn_sessions') AND c.relkind = 'p';\n"
        "  IF home IS NULL OR t < '2000-01-01' OR t >= date_trunc('month', now() AT TIME ZONE"
        " 'UTC') + interval '2 months' THEN\n"
        "    RETURN false;\n"
        "  END IF;\n"
        "  part := quote_ident(home) || '.quarn_sessions_' || to_char(t, 'YYYY_MM');\n"
        "  IF to_regclass(part) IS NOT NULL THEN\n"
        "    RETURN true;\n"
        "  END IF;\n"
        "  IF wait THEN\n"
        "    LOCK TABLE ONLY quarn_sessions IN SHARE UPDATE EXCLUSIVE MODE;\n"
        "    LOCK TABLE quarn_sessions_default IN ACCESS EXCLUSIVE MODE;\n"
        "  ELSE\n"
        "    BEGIN\n"
        "      LOCK TABLE ONLY quarn_sessions IN SHARE UPDATE EXCLUSIVE MODE NOWAIT;\n"
        "      LOCK TABLE quarn_sessions_default IN ACCESS EXCLUSIVE MODE NOWAIT;\n"
        "    EXCEPTION WHEN lock_not_available THEN\n"
        "      RETURN false;\n"
        "    END;\n"
        "  END IF;\n"
        "  IF to_regclass(part) IS NOT NULL THEN\n"
        "    RETURN true;\n"
        "  END IF;\n"
        "  EXECUTE format('CREATE TABLE %s (LIKE quarn_sessions INCLUDING DEFAULTS INCLUDING "
        "CONSTRAINTS)', part);\n"
        "  EXECUTE format('WITH moved AS (DELETE FROM quarn_sessions_default'\n"
        "    ' WHERE started >= %L AND started < %L RETURNING *) INSERT INTO %s'\n"
        "    ' SELECT * FROM moved', lo, hi, part);\n"
        "  EXECUTE format('ALTER TABLE quarn_sessions ATTACH PARTITION %s'\n"
        "    ' FOR VALUES FROM (%L) TO (%L)', part, lo, hi);\n"
        "  RETURN true;\n"
        "END\n");
    return pinnedFunction(
        QStringLiteral("quarn_sessions_month(m timestamptz, wait boolean) RETURNS boolean"
                       " LANGUAGE plpgsql SECURITY DEFINER"),
        body);
}

// The owner's: the partitions of every month given (2000 to next month),
// waiting for their locks. migrate and the schema applied again make the
// months of the rows already there with it; no station may call it.
QString monthsFunction() {
    return pinnedFunction(
        QStringLiteral("quarn_sessions_months(months timestamptz[]) RETURNS void"
                       " LANGUAGE plpgsql SECURITY DEFINER"),
        QStringLiteral(
            "DECLARE\n"
            "  t timestamptz;\n"
            "BEGIN\n"
            "  FOR t IN SELECT DISTINCT date_trunc('month', x, 'UTC') FROM unnest(months) x"
            " ORDER BY 1 LOOP\n"
            "    PERFORM quarn_sessions_month(t, true);\n"
            "  END LOOP;\n"
            "END\n"));
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
            monthFunction(),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_month(timestamptz, boolean) "
                           "FROM PUBLIC;\n"),
            monthsFunction(),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_months(timestamptz[]) "
                           "FROM PUBLIC;\n"),
            // A station may no longer make months itself (it could hold the
            // default partition locked in a transaction of its own): pushes
            // make them through quarn_push (database/schema_push.cpp).
            QStringLiteral("DO $$ BEGIN IF EXISTS (SELECT FROM pg_roles WHERE rolname = "
                           "'quarn_station') THEN\n"
                           "  REVOKE ALL ON FUNCTION quarn_sessions_months(timestamptz[]) FROM "
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

QStringList pastMonthStatements() {
    // Rows of a month that had no partition when they came (before last
    // month, or while a reader held the default partition) go to their own,
    // when the owner applies the schema again.
    return {whenPartitioned(QStringLiteral(
        "PERFORM quarn_sessions_months(ARRAY(SELECT DISTINCT date_trunc('month', started, 'UTC')"
        " FROM quarn_sessions_default WHERE started IS NOT NULL));"))};
}

}  // namespace quarn::records
