-- 0004 The summaries: per hour the figures every view shows, kept as the
-- sessions come and go, so that a view costs the hours and groups it
-- shows, not the sessions they hold.
--
-- Each table is keyed by hour (quarn_hour: UTC; '-infinity' without a
-- start) and text keys ('' for NULL):
--   quarn_summary_hours     sessions, repeats, seconds, approval
--                           mismatches by station, file, operator, image
--                           and outcome; and, at each unit's first attempt,
--                           its units, first-pass, second-pass and final
--                           good. Held records are rows of outcome 'held'
--                           (their sessions column is their count).
--   quarn_summary_attempts  units by their number of attempts
--   quarn_summary_seconds   sessions whose seconds round to tenths / 10: a
--                           median read from them is within 0.05 s of the
--                           exact one (held records have no duration)
--   quarn_summary_causes    failures (neither good nor held) by stage
--   quarn_summary_sockets   per socket: sessions (not held), passes
--                           (attempts), failures (attempts not good) and
--                           repeats (over attempts)
--
-- Every change goes through quarn_summaries_move: a push's rows, an
-- owner's DELETE or UPDATE, a month archived, a recount. It takes the
-- pushes' turn first, so no two writers ever wait on each other's summary
-- rows in a different order, and a late record that changes a unit's first
-- attempt, its number of attempts or its latest attempt moves the unit's
-- figures in the same transaction: the unit's figures as they were are
-- taken off, as they are now added. The summaries stay a recount of the
-- rows (quarn-records report --exact counts the same from the rows).
--
-- Weighed, of the server's own means: a materialized view is refreshed
-- whole (its cost is the table's, again); percentile_cont keeps no running
-- state, hence the histogram of seconds.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_summary_hours (
    hour             timestamptz NOT NULL,
    station          text NOT NULL,
    file             text NOT NULL,
    "operator"       text NOT NULL,
    image_sha256     text NOT NULL,
    outcome          text NOT NULL,
    sessions         bigint NOT NULL DEFAULT 0,
    repeats          bigint NOT NULL DEFAULT 0,
    seconds_sum      double precision NOT NULL DEFAULT 0,
    mismatches       bigint NOT NULL DEFAULT 0,
    units            bigint NOT NULL DEFAULT 0,
    first_pass_good  bigint NOT NULL DEFAULT 0,
    second_pass_good bigint NOT NULL DEFAULT 0,
    final_good       bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, station, file, "operator", image_sha256, outcome)
);

CREATE TABLE quarn_summary_attempts (
    hour         timestamptz NOT NULL,
    station      text NOT NULL,
    file         text NOT NULL,
    "operator"   text NOT NULL,
    image_sha256 text NOT NULL,
    attempts     bigint NOT NULL,
    units        bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, station, file, "operator", image_sha256, attempts)
);

CREATE TABLE quarn_summary_seconds (
    hour         timestamptz NOT NULL,
    station      text NOT NULL,
    file         text NOT NULL,
    "operator"   text NOT NULL,
    image_sha256 text NOT NULL,
    tenths       double precision NOT NULL,
    sessions     bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, station, file, "operator", image_sha256, tenths)
);

CREATE TABLE quarn_summary_causes (
    hour         timestamptz NOT NULL,
    station      text NOT NULL,
    image_sha256 text NOT NULL,
    outcome      text NOT NULL,
    stage        text NOT NULL,
    failures     bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, station, image_sha256, outcome, stage)
);

CREATE TABLE quarn_summary_sockets (
    hour         timestamptz NOT NULL,
    station      text NOT NULL,
    slot         text NOT NULL,
    image_sha256 text NOT NULL,
    sessions     bigint NOT NULL DEFAULT 0,
    passes       bigint NOT NULL DEFAULT 0,
    failures     bigint NOT NULL DEFAULT 0,
    repeats      bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, station, slot, image_sha256)
);

-- The columns of a session the figures are made of: an UPDATE that changes
-- none of them (first_pass, the stamps, a column of the plant's own) moves
-- nothing.
CREATE TYPE quarn_counted AS (
    id              uuid,
    serial          text,
    started         timestamptz,
    outcome         text,
    station         text,
    file            text,
    "operator"      text,
    image_sha256    text,
    slot            text,
    repeats         integer,
    seconds         double precision,
    message         text,
    approved        boolean,
    server_approved boolean
);

CREATE FUNCTION quarn_counted(s quarn_sessions) RETURNS quarn_counted
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN ROW(s.id, s.serial, s.started, s.outcome, s.station, s.file, s."operator",
               s.image_sha256, s.slot, s.repeats, s.seconds, s.message, s.approved,
               s.server_approved)::quarn_counted;

-- The summaries move by the sessions gone and come, and so does first_pass
-- of every row of their serial numbers (unless recount: a recount of rows
-- already there leaves the rows as they are). The sessions come must be in
-- quarn_sessions already, those gone no longer; each unit whose rows are
-- among them has its figures as they were taken off and as they are now
-- added. A recount gives whole units (every row of each serial number).
CREATE FUNCTION quarn_summaries_move(gone quarn_counted[], came quarn_counted[],
                                     recount boolean DEFAULT false) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT SET jit = off
AS $$
BEGIN
    PERFORM FROM quarn_push_lock FOR UPDATE;  -- the pushes' turn
    WITH
    -- Every row now in quarn_sessions of the serial numbers touched, each
    -- serial number looked up by its index (OFFSET 0 keeps the lookup a
    -- lookup, whatever the planner guesses of the arrays); is_new: come.
    touched AS MATERIALIZED (
        SELECT x.id, x.serial, x.started, x.outcome, x.station, x.file, x."operator",
               x.image_sha256, x.slot, x.first_pass
        FROM (SELECT c.serial FROM unnest(came) c WHERE c.serial <> ''
              UNION
              SELECT g.serial FROM unnest(gone) g WHERE g.serial <> '') t
        CROSS JOIN LATERAL (SELECT * FROM quarn_sessions x WHERE x.serial = t.serial OFFSET 0) x),
    r AS (
        SELECT x.*, n.id IS NOT NULL AS is_new
        FROM touched x LEFT JOIN (SELECT DISTINCT c.id FROM unnest(came) c) n ON n.id = x.id),
    -- first_pass of those rows: true on each serial number's first
    -- attempt, false on its other sessions; written only where it changes.
    fp AS (
        UPDATE quarn_sessions s SET first_pass = w.first_pass
        FROM (SELECT id, first_pass AS was,
                     coalesce(quarn_is_attempt(outcome) AND id = first_value(id) OVER (
                                  PARTITION BY serial
                                  ORDER BY NOT quarn_is_attempt(outcome), started, id
                                  ROWS BETWEEN UNBOUNDED PRECEDING AND UNBOUNDED FOLLOWING),
                              false) AS first_pass
              FROM r) w
        WHERE NOT recount AND w.was IS DISTINCT FROM w.first_pass AND s.id = w.id),
    -- The units' attempts now (+1: the rows of r, and the sessions come
    -- without a serial number) and before (-1: r but the rows come, and
    -- every session gone).
    attempts AS (
        SELECT 1 AS sign, id, serial, started, outcome, station, file, "operator", image_sha256
        FROM r WHERE quarn_is_attempt(outcome)
        UNION ALL
        SELECT 1, c.id, c.serial, c.started, c.outcome, c.station, c.file, c."operator",
               c.image_sha256
        FROM unnest(came) c WHERE coalesce(c.serial, '') = '' AND quarn_is_attempt(c.outcome)
        UNION ALL
        SELECT -1, id, serial, started, outcome, station, file, "operator", image_sha256
        FROM r WHERE quarn_is_attempt(outcome) AND NOT is_new
        UNION ALL
        SELECT -1, g.id, g.serial, g.started, g.outcome, g.station, g.file, g."operator",
               g.image_sha256
        FROM unnest(gone) g WHERE quarn_is_attempt(g.outcome)),
    -- One row per unit, now and before: its first attempt's keys and its
    -- attempts' outcomes in order.
    units AS (
        SELECT sign, quarn_hour(started) AS hour, coalesce(station, '') AS station,
               coalesce(file, '') AS file, coalesce("operator", '') AS "operator",
               coalesce(image_sha256, '') AS image_sha256, coalesce(outcome, '') AS outcome,
               cardinality(outcomes) AS attempts,
               quarn_first_pass_good(outcomes)::int AS first_good,
               quarn_second_pass_good(outcomes)::int AS second_good,
               quarn_final_good(outcomes)::int AS final_good
        FROM (SELECT a.*, row_number() OVER w AS attempt_no,
                     array_agg(a.outcome) OVER (w ROWS BETWEEN UNBOUNDED PRECEDING
                                                AND UNBOUNDED FOLLOWING) AS outcomes
              FROM attempts a
              WINDOW w AS (PARTITION BY a.sign, quarn_unit(a.serial, a.id) COLLATE "C"
                           ORDER BY a.started, a.id)) f
        WHERE attempt_no = 1),
    -- The sessions come (+1) and gone (-1).
    sessions AS (
        SELECT 1 AS sign, c.* FROM unnest(came) c
        UNION ALL
        SELECT -1, g.* FROM unnest(gone) g),
    hours AS (
        INSERT INTO quarn_summary_hours AS t
            (hour, station, file, "operator", image_sha256, outcome, sessions, repeats,
             seconds_sum, mismatches, units, first_pass_good, second_pass_good, final_good)
        SELECT hour, station, file, "operator", image_sha256, outcome,
               sum(sessions), sum(repeats), sum(seconds_sum), sum(mismatches),
               sum(units), sum(fpg), sum(spg), sum(fg)
        FROM (SELECT quarn_hour(started) AS hour, coalesce(station, '') AS station,
                     coalesce(file, '') AS file, coalesce("operator", '') AS "operator",
                     coalesce(image_sha256, '') AS image_sha256,
                     coalesce(outcome, '') AS outcome,
                     sign AS sessions, sign * coalesce(repeats, 0) AS repeats,
                     sign * coalesce(seconds, 0) AS seconds_sum,
                     sign * quarn_approval_mismatch(approved, server_approved)::int AS mismatches,
                     0 AS units, 0 AS fpg, 0 AS spg, 0 AS fg
              FROM sessions
              UNION ALL
              SELECT hour, station, file, "operator", image_sha256, outcome, 0, 0, 0, 0,
                     sign, sign * first_good, sign * second_good, sign * final_good
              FROM units) x
        GROUP BY hour, station, file, "operator", image_sha256, outcome
        HAVING (sum(sessions), sum(repeats), sum(seconds_sum), sum(mismatches),
                sum(units), sum(fpg), sum(spg), sum(fg)) <> (0, 0, 0, 0, 0, 0, 0, 0)
        ON CONFLICT (hour, station, file, "operator", image_sha256, outcome) DO UPDATE SET
            sessions = t.sessions + EXCLUDED.sessions,
            repeats = t.repeats + EXCLUDED.repeats,
            seconds_sum = t.seconds_sum + EXCLUDED.seconds_sum,
            mismatches = t.mismatches + EXCLUDED.mismatches,
            units = t.units + EXCLUDED.units,
            first_pass_good = t.first_pass_good + EXCLUDED.first_pass_good,
            second_pass_good = t.second_pass_good + EXCLUDED.second_pass_good,
            final_good = t.final_good + EXCLUDED.final_good),
    by_attempts AS (
        INSERT INTO quarn_summary_attempts AS t
            (hour, station, file, "operator", image_sha256, attempts, units)
        SELECT hour, station, file, "operator", image_sha256, attempts, sum(sign)
        FROM units
        GROUP BY hour, station, file, "operator", image_sha256, attempts
        HAVING sum(sign) <> 0
        ON CONFLICT (hour, station, file, "operator", image_sha256, attempts) DO UPDATE SET
            units = t.units + EXCLUDED.units),
    seconds AS (
        INSERT INTO quarn_summary_seconds AS t
            (hour, station, file, "operator", image_sha256, tenths, sessions)
        SELECT quarn_hour(started), coalesce(station, ''), coalesce(file, ''),
               coalesce("operator", ''), coalesce(image_sha256, ''), round(seconds * 10),
               sum(sign)
        FROM sessions
        WHERE seconds IS NOT NULL AND quarn_is_session(outcome)
        GROUP BY 1, 2, 3, 4, 5, 6
        ON CONFLICT (hour, station, file, "operator", image_sha256, tenths) DO UPDATE SET
            sessions = t.sessions + EXCLUDED.sessions),
    causes AS (
        INSERT INTO quarn_summary_causes AS t
            (hour, station, image_sha256, outcome, stage, failures)
        SELECT quarn_hour(started), coalesce(station, ''), coalesce(image_sha256, ''),
               outcome, quarn_stage(message, outcome), sum(sign)
        FROM sessions
        WHERE outcome <> 'good' AND quarn_is_session(outcome)
        GROUP BY 1, 2, 3, 4, 5
        ON CONFLICT (hour, station, image_sha256, outcome, stage) DO UPDATE SET
            failures = t.failures + EXCLUDED.failures)
    INSERT INTO quarn_summary_sockets AS t
        (hour, station, slot, image_sha256, sessions, passes, failures, repeats)
    SELECT quarn_hour(started), coalesce(station, ''), coalesce(slot, ''),
           coalesce(image_sha256, ''), sum(sign),
           coalesce(sum(sign) FILTER (WHERE quarn_is_attempt(outcome)), 0),
           coalesce(sum(sign) FILTER (WHERE quarn_is_attempt(outcome)
                                        AND outcome IS DISTINCT FROM 'good'), 0),
           coalesce(sum(sign * repeats) FILTER (WHERE quarn_is_attempt(outcome)), 0)
    FROM sessions
    WHERE quarn_is_session(outcome)
    GROUP BY 1, 2, 3, 4
    ON CONFLICT (hour, station, slot, image_sha256) DO UPDATE SET
        sessions = t.sessions + EXCLUDED.sessions,
        passes = t.passes + EXCLUDED.passes,
        failures = t.failures + EXCLUDED.failures,
        repeats = t.repeats + EXCLUDED.repeats;

    -- Summary rows a removal brought to nothing: a recount would not have them.
    IF cardinality(gone) > 0 THEN
        DELETE FROM quarn_summary_hours
        WHERE (sessions, units, first_pass_good, second_pass_good, final_good) = (0, 0, 0, 0, 0);
        DELETE FROM quarn_summary_attempts WHERE units = 0;
        DELETE FROM quarn_summary_seconds WHERE sessions = 0;
        DELETE FROM quarn_summary_causes WHERE failures = 0;
        DELETE FROM quarn_summary_sockets WHERE sessions = 0;
    END IF;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_move(quarn_counted[], quarn_counted[], boolean) FROM PUBLIC;

-- Every row of a table of sessions (quarn_sessions itself, or a month
-- archived from it) moved in (a recount) or out (going), a few thousand
-- rows at a time, each lot whole units, so that memory stays small however
-- many rows there are. The rows, how many.
CREATE FUNCTION quarn_summaries_feed(source regclass, going boolean) RETURNS bigint
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    lot   quarn_counted[] := '{}';
    x     quarn_counted;
    unit  text;
    last  text;
    fed   bigint := 0;
BEGIN
    FOR x IN EXECUTE format(
            'SELECT (quarn_counted(ROW(t.*)::quarn_sessions)).* FROM %s t'
            ' ORDER BY quarn_unit(t.serial, t.id) COLLATE "C"', source) LOOP
        unit := quarn_unit(x.serial, x.id);
        IF cardinality(lot) >= 5000 AND unit IS DISTINCT FROM last THEN
            IF going THEN
                PERFORM quarn_summaries_move(lot, '{}');
            ELSE
                PERFORM quarn_summaries_move('{}', lot, true);
            END IF;
            lot := '{}';
        END IF;
        lot := lot || x;
        last := unit;
        fed := fed + 1;
    END LOOP;
    IF going THEN
        PERFORM quarn_summaries_move(lot, '{}');
    ELSE
        PERFORM quarn_summaries_move('{}', lot, true);
    END IF;
    RETURN fed;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_feed(regclass, boolean) FROM PUBLIC;

-- The summaries counted again from every row, in the pushes' turn: what
-- `quarn-records schema --refill` runs, after a month was detached by hand.
CREATE FUNCTION quarn_summaries_refill() RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    PERFORM FROM quarn_push_lock FOR UPDATE;
    TRUNCATE quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds,
             quarn_summary_causes, quarn_summary_sockets;
    PERFORM quarn_summaries_feed('quarn_sessions', false);
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_refill() FROM PUBLIC;

-- A month let go: its partition detached from quarn_sessions and kept
-- under its name (the owner's to dump and drop), and the summaries left
-- equal to a recount of the rows that remain, in the same transaction (the
-- month's sessions taken off, the units that spanned it worked out again
-- from their other rows). A late record of the month then goes to the
-- default partition: the month is not made again while its table keeps the
-- name. The rows it took.
CREATE FUNCTION quarn_sessions_archive(month date) RETURNS bigint
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    part text := 'quarn_sessions_' || to_char(month, 'YYYY_MM');
BEGIN
    IF NOT EXISTS (SELECT FROM pg_inherits
                   WHERE inhparent = 'quarn_sessions'::regclass
                     AND inhrelid = to_regclass(part)) THEN
        RAISE EXCEPTION 'quarn_sessions has no partition %', part
            USING ERRCODE = 'undefined_table';
    END IF;
    PERFORM FROM quarn_push_lock FOR UPDATE;
    EXECUTE format('ALTER TABLE quarn_sessions DETACH PARTITION %I', part);
    RETURN quarn_summaries_feed(part::regclass, true);
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_archive(date) FROM PUBLIC;

-- The rows a statement inserted (a push's, through quarn_push_rows),
-- added; first_pass set right on every row of their serial numbers.
CREATE FUNCTION quarn_first_pass() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
BEGIN
    IF EXISTS (SELECT FROM quarn_new) THEN
        PERFORM quarn_summaries_move('{}', ARRAY(SELECT quarn_counted(n) FROM quarn_new n));
    END IF;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_first_pass() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_first_pass
    AFTER INSERT ON quarn_sessions
    REFERENCING NEW TABLE AS quarn_new
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_first_pass();

-- An owner's DELETE through quarn_sessions moves the summaries with it.
-- (A statement on a partition itself is not seen: schema --refill counts
-- again.)
CREATE FUNCTION quarn_sessions_removed() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
BEGIN
    IF EXISTS (SELECT FROM quarn_old) THEN
        PERFORM quarn_summaries_move(ARRAY(SELECT quarn_counted(o) FROM quarn_old o), '{}');
    END IF;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_removed() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_removed
    AFTER DELETE ON quarn_sessions
    REFERENCING OLD TABLE AS quarn_old
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_removed();

-- An owner's UPDATE of counted columns: the rows as they were go, as they
-- are now come. One that changes none (first_pass, the stamps, the plant's
-- own columns) moves nothing.
CREATE FUNCTION quarn_sessions_changed() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    gone quarn_counted[] := ARRAY(SELECT quarn_counted(o) FROM quarn_old o
                                  EXCEPT ALL
                                  SELECT quarn_counted(u) FROM quarn_upd u);
    came quarn_counted[] := ARRAY(SELECT quarn_counted(u) FROM quarn_upd u
                                  EXCEPT ALL
                                  SELECT quarn_counted(o) FROM quarn_old o);
BEGIN
    IF cardinality(gone) > 0 OR cardinality(came) > 0 THEN
        PERFORM quarn_summaries_move(gone, came);
    END IF;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_changed() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_changed
    AFTER UPDATE ON quarn_sessions
    REFERENCING OLD TABLE AS quarn_old NEW TABLE AS quarn_upd
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_changed();

-- The summaries hold the table's figures: emptied with it.
CREATE FUNCTION quarn_summary_truncate() RETURNS trigger
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    TRUNCATE quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds,
             quarn_summary_causes, quarn_summary_sockets;
    RETURN NULL;
END
$$;

CREATE TRIGGER quarn_sessions_truncate
    AFTER TRUNCATE ON quarn_sessions
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_summary_truncate();

-- Per day (UTC, as the hours) and station, read from the summaries:
-- sessions, good and failed sessions, first-pass yield, the median of the
-- seconds (to 0.05 s), then second-pass and final yield and the held
-- records (no sessions). Columns are only ever added at the end.
CREATE VIEW quarn_yield_daily AS
SELECT d.day, nullif(d.station, '') AS station, d.sessions, d.good, d.failed,
       d.first_pass_yield, m.median AS median_seconds,
       d.second_pass_yield, d.final_yield, d.held
FROM (SELECT CASE WHEN hour > '-infinity' THEN date_trunc('day', hour, 'UTC') END AS day,
             station,
             coalesce(sum(sessions) FILTER (WHERE quarn_is_session(outcome)), 0)::bigint
                 AS sessions,
             coalesce(sum(sessions) FILTER (WHERE outcome = 'good'), 0)::bigint AS good,
             coalesce(sum(sessions) FILTER (WHERE outcome NOT IN ('good', '')
                                              AND quarn_is_session(outcome)), 0)::bigint
                 AS failed,
             sum(first_pass_good)::numeric / nullif(sum(units), 0) AS first_pass_yield,
             sum(second_pass_good)::numeric / nullif(sum(units), 0) AS second_pass_yield,
             sum(final_good)::numeric / nullif(sum(units), 0) AS final_yield,
             coalesce(sum(sessions) FILTER (WHERE outcome = 'held'), 0)::bigint AS held
      FROM quarn_summary_hours
      GROUP BY 1, 2) d
LEFT JOIN (
    -- The median of each day's histogram: the middle value (the mean of the
    -- two middle ones), found by the running count of each value.
    SELECT day, station,
           (min(v) FILTER (WHERE upto > floor((total - 1) / 2.0))
            + min(v) FILTER (WHERE upto > ceil((total - 1) / 2.0))) / 2 AS median
    FROM (SELECT day, station, v,
                 sum(n) OVER (PARTITION BY day, station ORDER BY v) AS upto,
                 sum(n) OVER (PARTITION BY day, station) AS total
          FROM (SELECT CASE WHEN hour > '-infinity' THEN date_trunc('day', hour, 'UTC') END
                           AS day,
                       station, tenths / 10.0 AS v, sum(sessions) AS n
                FROM quarn_summary_seconds
                GROUP BY 1, 2, 3) g) c
    GROUP BY day, station) m
    ON m.day IS NOT DISTINCT FROM d.day AND m.station = d.station;
