// The parts of the schema that are rules rather than columns: the trigger
// that keeps first_pass, the approved list, and the roles.
#include <QStringBuilder>

#include "database/schema.h"
#include "database/summary_sql.h"
#include "record/first_pass.h"

namespace quarn::records {

namespace {

// A trigger function in plpgsql, its path pinned.
QString function(const char* name, const char* attributes, const QString& body) {
    return pinnedFunction(QLatin1String(name) %
                              QStringLiteral("() RETURNS trigger LANGUAGE plpgsql ") %
                              QLatin1String(attributes),
                          body);
}

// A trigger made once: CREATE TRIGGER has no IF NOT EXISTS before PostgreSQL 14.
QString triggerOnce(const char* name, const char* table, const char* definition) {
    return QStringLiteral(
               "DO $$ BEGIN\n"
               "  IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = '%1'\n"
               "                 AND tgrelid = to_regclass('%2')) THEN\n"
               "    CREATE TRIGGER %1 %3;\n"
               "  END IF;\n"
               "END $$;\n")
        .arg(QLatin1String(name), QLatin1String(table), QLatin1String(definition));
}

}  // namespace

QString pinnedFunction(const QString& head, const QString& body) {
    return QStringLiteral("DO $quarn$ BEGIN EXECUTE format(\n  'CREATE OR REPLACE FUNCTION ") %
           head %
           QStringLiteral(
               "'\n  ' SET search_path = pg_catalog, %I, pg_temp AS %L', current_schema(), "
               "replace($body$\n") %
           body %
           QStringLiteral(
               "$body$, '@home@', quote_literal(quote_ident(current_schema()))));\n"
               "END $quarn$;\n");
}

QString firstPassUpkeepSql() {
    // first_pass of every row of the serial numbers touched (r): its serial
    // number's earliest pass, passes ordered first; written only where it
    // changes (the stamp trigger set nearly every new row right).
    return QStringLiteral(
               "fp AS (UPDATE quarn_sessions s SET first_pass = c.fp FROM (SELECT * FROM (SELECT "
               "id,"
               " first_pass, coalesce(%1 AND id = first_value(id) OVER (PARTITION BY serial ORDER "
               "BY"
               " NOT %1, started, id ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING),"
               " false) AS fp FROM r) w WHERE first_pass IS DISTINCT FROM fp) c WHERE s.id = c.id)")
        .arg(passSql());
}

namespace {

// The columns a row's figures are made of: an UPDATE that changes none of
// them (first_pass, the stamps, a column of the plant's own) moves nothing.
QString countedColumns(const QString& table) {
    return QStringLiteral("SELECT %1, repeats, seconds, message, approved, server_approved FROM %2")
        .arg(unitColumnsSql(QString()), table);
}

// An owner's DELETE or UPDATE through quarn_sessions moves the summaries
// (and first_pass) with it, in its own transaction and the pushes' turn:
// the figures of the rows gone are taken off, of the rows come added, and
// their units' figures worked out again from the rows left. A statement on
// a partition itself is not seen (schema --refill counts again).
QStringList removalTriggerStatements() {
    const QString removed =
        QStringLiteral(
            "BEGIN\n"
            "  PERFORM FROM quarn_push_lock FOR UPDATE;\n") +
        summaryChangeSql(QStringLiteral("quarn_old"), QString(), firstPassUpkeepSql()) +
        QStringLiteral("  RETURN NULL;\nEND\n");
    const QString gone = QStringLiteral("(%1 EXCEPT ALL %2)")
                             .arg(countedColumns(QStringLiteral("quarn_old")),
                                  countedColumns(QStringLiteral("quarn_upd")));
    const QString came = QStringLiteral("(%1 EXCEPT ALL %2)")
                             .arg(countedColumns(QStringLiteral("quarn_upd")),
                                  countedColumns(QStringLiteral("quarn_old")));
    const QString changed = QStringLiteral(
                                "BEGIN\n"
                                "  IF NOT EXISTS %1 AND NOT EXISTS %2 THEN\n"
                                "    RETURN NULL;  -- first_pass, the stamps: nothing counted\n"
                                "  END IF;\n"
                                "  PERFORM FROM quarn_push_lock FOR UPDATE;\n")
                                .arg(gone, came) +
                            summaryChangeSql(gone, came, firstPassUpkeepSql()) +
                            QStringLiteral("  RETURN NULL;\nEND\n");
    return {function("quarn_sessions_removed", "SECURITY DEFINER", removed),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_removed() FROM PUBLIC;\n"),
            triggerOnce("quarn_sessions_removed", "quarn_sessions",
                        "AFTER DELETE ON quarn_sessions REFERENCING OLD TABLE AS quarn_old "
                        "FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_removed()"),
            function("quarn_sessions_changed", "SECURITY DEFINER", changed),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_changed() FROM PUBLIC;\n"),
            triggerOnce("quarn_sessions_changed", "quarn_sessions",
                        "AFTER UPDATE ON quarn_sessions REFERENCING OLD TABLE AS quarn_old"
                        " NEW TABLE AS quarn_upd "
                        "FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_changed()")};
}

}  // namespace

QStringList firstPassTriggerStatements() {
    // Runs as the schema's owner (SECURITY DEFINER), so that a station that
    // may only INSERT still gets every row of the serial numbers it sent set
    // right. Pushes of several stations take turns on the one row of
    // quarn_push_lock, which no role but the owner's may lock: no login can
    // hold up the plant's pushes by taking the turn itself. In the same
    // turn the summaries take the statement's rows (summaryUpkeepSql).
    const QString body = QStringLiteral(
                             "BEGIN\n"
                             "  PERFORM FROM quarn_push_lock FOR UPDATE;\n") +
                         summaryUpkeepSql(firstPassUpkeepSql()) +
                         QStringLiteral(
                             "  RETURN NULL;\n"
                             "END\n");
    return QStringList{
               QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_push_lock (turn boolean PRIMARY "
                              "KEY DEFAULT true "
                              "CHECK (turn));\n"),
               QStringLiteral(
                   "INSERT INTO quarn_push_lock VALUES (true) ON CONFLICT DO NOTHING;\n"),
               QStringLiteral("REVOKE ALL ON quarn_push_lock FROM PUBLIC;\n"),
               function("quarn_first_pass", "SECURITY DEFINER", body),
               QStringLiteral("REVOKE ALL ON FUNCTION quarn_first_pass() FROM PUBLIC;\n"),
               triggerOnce("quarn_sessions_first_pass", "quarn_sessions",
                           "AFTER INSERT ON quarn_sessions REFERENCING NEW TABLE AS quarn_new "
                           "FOR EACH STATEMENT EXECUTE FUNCTION quarn_first_pass()"),
               // The summaries hold the table's figures: emptied with it (a
               // month's partition detached by hand keeps them: that is no
               // TRUNCATE; quarn-records archive moves them, database/archive.h).
               function(
                   "quarn_summary_truncate", "",
                   QStringLiteral("BEGIN\n  TRUNCATE quarn_summary_hours, quarn_summary_attempts,"
                                  " quarn_summary_seconds, quarn_summary_causes,"
                                  " quarn_summary_sockets;\n  RETURN NULL;\nEND\n")),
               triggerOnce("quarn_sessions_truncate", "quarn_sessions",
                           "AFTER TRUNCATE ON quarn_sessions "
                           "FOR EACH STATEMENT EXECUTE FUNCTION quarn_summary_truncate()")} +
           removalTriggerStatements();
}

QStringList stampTriggerStatements() {
    // Whatever a station sent in these columns (it may name none of them),
    // the server's own word replaces it. Called once a row, so it runs with
    // the inserting role's rights and no search_path of its own (setting
    // one each call costs more than the rest of the push's row work): every
    // table it reads is named with the schema it was made in (a temporary
    // table of the caller's, which unqualified names would find first, is
    // never read); functions and operators are never looked up in pg_temp,
    // and a station may create no schema of its own. A station may read the
    // approved list. first_pass gets a guess from the row alone (a pass is
    // its serial number's first, as for nearly every new unit); the
    // statement's trigger, with the owner's rights and every row of the
    // serial numbers, writes the few guesses that are wrong, so what a
    // caller puts here never lasts.
    const QString body = QStringLiteral(
                             "BEGIN\n"
                             "  NEW.pushed_by := session_user;\n"
                             "  NEW.received_at := pg_catalog.now();\n"
                             "  NEW.server_approved := NEW.started IS NOT NULL\n"
                             "    AND EXISTS (SELECT FROM @schema@.quarn_images i\n"
                             "      WHERE i.sha256 OPERATOR(pg_catalog.=) NEW.image_sha256\n"
                             "      AND i.approved_at OPERATOR(pg_catalog.<=) NEW.started\n"
                             "      AND (i.revoked_at IS NULL OR i.revoked_at "
                             "OPERATOR(pg_catalog.>) NEW.started));\n"
                             "  NEW.first_pass := CASE WHEN NEW.serial <> '' THEN %1 END;\n"
                             "  RETURN NEW;\n"
                             "END\n")
                             .arg(passSql(QStringLiteral("NEW")));
    return {
        QStringLiteral("ALTER TABLE quarn_sessions ADD COLUMN IF NOT EXISTS pushed_by text,\n"
                       "    ADD COLUMN IF NOT EXISTS received_at timestamptz,\n"
                       "    ADD COLUMN IF NOT EXISTS server_approved boolean;\n"),
        QStringLiteral("DO $quarn$ BEGIN EXECUTE format(\n"
                       "  'CREATE OR REPLACE FUNCTION quarn_sessions_stamp() RETURNS trigger"
                       " LANGUAGE plpgsql SECURITY INVOKER AS %L',\n"
                       "  replace($body$\n") %
            body %
            QStringLiteral("$body$, '@schema@', quote_ident(current_schema())));\nEND $quarn$;\n"),
        QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_stamp() FROM PUBLIC;\n"),
        triggerOnce("quarn_sessions_stamp", "quarn_sessions",
                    "BEFORE INSERT ON quarn_sessions "
                    "FOR EACH ROW EXECUTE FUNCTION quarn_sessions_stamp()")};
}

QStringList notifyTriggerStatements() {
    // One notification per statement that inserted rows (a push's batch),
    // sent at its commit: a listening window reads once per batch, not per
    // row, and not at all for a batch whose rows were all there already.
    // Its payload, the batch's earliest start, tells the window which days
    // to read again. pg_notify may be called by every role, so a station's
    // INSERT sends it.
    const QString body =
        QStringLiteral(
            "DECLARE\n"
            "  inserted bigint;\n"
            "  earliest timestamptz;\n"
            "BEGIN\n"
            "  SELECT count(*), min(started) INTO inserted, earliest FROM quarn_notify_new;\n"
            "  IF inserted > 0 THEN\n"
            "    PERFORM pg_notify('%1', coalesce(to_char(earliest AT TIME ZONE 'UTC',\n"
            "      'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), ''));\n"
            "  END IF;\n"
            "  RETURN NULL;\n"
            "END\n")
            .arg(QLatin1String(kSessionsChannel));
    return {function("quarn_sessions_notify", "", body),
            triggerOnce("quarn_sessions_notify", "quarn_sessions",
                        "AFTER INSERT ON quarn_sessions REFERENCING NEW TABLE AS quarn_notify_new "
                        "FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_notify()")};
}

QStringList imageStatements() {
    // Revoking is the one change a row takes, once, stamped by the server:
    // the list stays its own audit trail. A note may only grow.
    const QString revoke = QStringLiteral(
        "BEGIN\n"
        "  IF OLD.revoked_at IS NOT NULL THEN\n"
        "    RAISE EXCEPTION 'image % was revoked already', OLD.sha256\n"
        "      USING ERRCODE = 'check_violation';\n"
        "  END IF;\n"
        "  IF OLD.note IS NOT NULL AND left(NEW.note, length(OLD.note)) IS DISTINCT FROM OLD.note "
        "THEN\n"
        "    RAISE EXCEPTION 'a note is only added to' USING ERRCODE = 'check_violation';\n"
        "  END IF;\n"
        "  NEW.revoked_by := current_user;\n"
        "  NEW.revoked_at := now();\n"
        "  RETURN NEW;\n"
        "END\n");
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS quarn_images (\n"
                           "    sha256 text NOT NULL CHECK (sha256 ~ '^[0-9a-f]{64}$'),\n"
                           "    length integer,\n"
                           "    file text,\n"
                           "    title text,\n"
                           "    note text,\n"
                           "    approved_by text NOT NULL DEFAULT current_user,\n"
                           "    approved_at timestamptz NOT NULL DEFAULT now(),\n"
                           "    revoked_by text,\n"
                           "    revoked_at timestamptz\n"
                           ");\n"),
            QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS quarn_images_in_force "
                           "ON quarn_images (sha256) WHERE revoked_at IS NULL;\n"),
            // The server's verdict on a record looks its image up here.
            QStringLiteral("CREATE INDEX IF NOT EXISTS quarn_images_sha256 "
                           "ON quarn_images (sha256);\n"),
            function("quarn_images_revoke", "", revoke),
            triggerOnce("quarn_images_revoke", "quarn_images",
                        "BEFORE UPDATE ON quarn_images "
                        "FOR EACH ROW EXECUTE FUNCTION quarn_images_revoke()")};
}

namespace {

QString groupRolesStatement() {
    QString body;
    for (const char* role : {"quarn_station", "quarn_engineer", "quarn_viewer"})
        body += QStringLiteral(
                    "  IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN\n"
                    "    CREATE ROLE %1 NOLOGIN;\n"
                    "  END IF;\n")
                    .arg(QLatin1String(role));
    return QStringLiteral("DO $$ BEGIN\n") % body % QStringLiteral("END $$;\n");
}

}  // namespace

QStringList roleStatements() {
    // Records only added, through quarn_push (database/schema_push.cpp):
    // no INSERT, and no month made in a transaction of the station's own.
    return QStringList{
               groupRolesStatement(),
               QStringLiteral("DO $$ BEGIN EXECUTE format('GRANT USAGE ON SCHEMA %I TO "
                              "quarn_station, quarn_engineer, quarn_viewer', current_schema()); "
                              "END $$;\n"),
               QStringLiteral("GRANT SELECT ON quarn_images TO quarn_station;\n"),
               QStringLiteral("REVOKE ALL ON FUNCTION quarn_sessions_months(timestamptz[]) "
                              "FROM quarn_station;\n"),
               QStringLiteral("GRANT EXECUTE ON FUNCTION quarn_attempts(text), "
                              "quarn_attempts(text, uuid[]) TO quarn_station;\n"),
               QStringLiteral("GRANT quarn_station TO quarn_engineer;\n"),
               // approved_by and approved_at come from their defaults, the
               // revoked columns from the trigger: the server stamps them.
               QStringLiteral("GRANT INSERT (sha256, length, file, title, note),\n"
                              "      UPDATE (revoked_by, revoked_at, note)\n"
                              "      ON quarn_images TO quarn_engineer;\n"),
               QStringLiteral("GRANT SELECT ON quarn_sessions, quarn_yield_daily, quarn_images,"
                              " quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds,"
                              " quarn_summary_causes, quarn_summary_sockets TO quarn_viewer;\n"),
               historyGrantStatement(), socketServiceRoleStatements().join(QString())} +
           pushGrantStatements();
}

}  // namespace quarn::records
