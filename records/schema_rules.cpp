// The parts of the schema that are rules rather than columns: the trigger
// that keeps first_pass, the approved list, and the roles.
#include <QStringBuilder>

#include "records/first_pass.h"
#include "records/schema.h"

namespace quarn::records {

namespace {

// Pins a function's search_path to the schema it was made in, so that no
// object a caller puts earlier on its own path is ever used by it.
QString pinSearchPath(const char* function) {
    return QStringLiteral(
               "DO $$ BEGIN EXECUTE format('ALTER FUNCTION %1() SET search_path = pg_catalog, "
               "%I, pg_temp', current_schema()); END $$;\n")
        .arg(QLatin1String(function));
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

QStringList firstPassTriggerStatements() {
    // Runs as the schema's owner (SECURITY DEFINER), so that a station that
    // may only INSERT still gets every row of the serial numbers it sent set
    // right; the advisory lock makes pushes of several stations take turns.
    const QString function =
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION quarn_first_pass() RETURNS trigger\n"
            "LANGUAGE plpgsql SECURITY DEFINER AS $$\n"
            "BEGIN\n"
            "  PERFORM pg_advisory_xact_lock(hashtext('quarn_sessions'));\n"
            "  UPDATE quarn_sessions s SET first_pass = coalesce(s.id = f.id, false)\n"
            "  FROM (SELECT DISTINCT serial FROM quarn_new WHERE serial <> '') n\n"
            "  LEFT JOIN LATERAL (SELECT x.id FROM quarn_sessions x\n"
            "    WHERE x.serial = n.serial AND %1 ORDER BY x.started, x.id LIMIT 1) f ON true\n"
            "  WHERE s.serial = n.serial\n"
            "    AND s.first_pass IS DISTINCT FROM coalesce(s.id = f.id, false);\n"
            "  RETURN NULL;\n"
            "END $$;\n")
            .arg(passSql(QStringLiteral("x")));
    return {function, pinSearchPath("quarn_first_pass"),
            QStringLiteral("REVOKE ALL ON FUNCTION quarn_first_pass() FROM PUBLIC;\n"),
            triggerOnce("quarn_sessions_first_pass", "quarn_sessions",
                        "AFTER INSERT ON quarn_sessions REFERENCING NEW TABLE AS quarn_new "
                        "FOR EACH STATEMENT EXECUTE FUNCTION quarn_first_pass()")};
}

QStringList notifyTriggerStatements() {
    // One notification per inserting statement (a push's batch), sent at its
    // commit: a listening window reads once per batch, not per row. Its
    // payload, the batch's earliest start, tells the window which days to
    // read again. pg_notify may be called by every role, so a station's
    // INSERT sends it.
    const QString function =
        QStringLiteral(
            "CREATE OR REPLACE FUNCTION quarn_sessions_notify() RETURNS trigger\n"
            "LANGUAGE plpgsql AS $$\n"
            "BEGIN\n"
            "  PERFORM pg_notify('%1', coalesce((SELECT to_char(min(started) AT TIME ZONE 'UTC',\n"
            "    'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"') FROM quarn_notify_new), ''));\n"
            "  RETURN NULL;\n"
            "END $$;\n")
            .arg(QLatin1String(kSessionsChannel));
    return {function, pinSearchPath("quarn_sessions_notify"),
            triggerOnce("quarn_sessions_notify", "quarn_sessions",
                        "AFTER INSERT ON quarn_sessions REFERENCING NEW TABLE AS quarn_notify_new "
                        "FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_notify()")};
}

QStringList imageStatements() {
    // Revoking is the one change a row takes, once, stamped by the server:
    // the list stays its own audit trail. A note may only grow.
    const QString revoke = QStringLiteral(
        "CREATE OR REPLACE FUNCTION quarn_images_revoke() RETURNS trigger\n"
        "LANGUAGE plpgsql AS $$\n"
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
        "END $$;\n");
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
            revoke, pinSearchPath("quarn_images_revoke"),
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
    QStringList recordColumns;
    for (const Column& c : columns()) recordColumns << QLatin1String(c.key);
    return {groupRolesStatement(),
            QStringLiteral("DO $$ BEGIN EXECUTE format('GRANT USAGE ON SCHEMA %I TO "
                           "quarn_station, quarn_engineer, quarn_viewer', current_schema()); "
                           "END $$;\n"),
            // Records only added, and not first_pass: the trigger keeps that.
            QStringLiteral("GRANT INSERT (%1) ON quarn_sessions TO quarn_station;\n")
                .arg(recordColumns.join(QStringLiteral(", "))),
            QStringLiteral("GRANT SELECT ON quarn_images TO quarn_station;\n"),
            QStringLiteral("GRANT quarn_station TO quarn_engineer;\n"),
            // approved_by and approved_at come from their defaults, the
            // revoked columns from the trigger: the server stamps them.
            QStringLiteral("GRANT INSERT (sha256, length, file, title, note),\n"
                           "      UPDATE (revoked_by, revoked_at, note)\n"
                           "      ON quarn_images TO quarn_engineer;\n"),
            QStringLiteral("GRANT SELECT ON quarn_sessions, quarn_yield_daily, quarn_images "
                           "TO quarn_viewer;\n")};
}

}  // namespace quarn::records
