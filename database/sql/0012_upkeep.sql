-- 0012 How the summaries, the units, the ids and the sockets' counts move.
--
-- Every change still goes through quarn_summaries_move (0004's signature),
-- now in two ways:
-- - A push (rows come, none go): it takes the pushes' turn in SHARE mode,
--   which pushes hold together. The units its attempts touch are merged in
--   quarn_units, each unit's row locked (two pushes of one serial number
--   take turns there, in the order of the serial numbers); its figures are
--   appended to the delta tables (0010), which lock nothing; first_pass is
--   written where it changes. Every eighth push (quarn_fold_turn) folds the
--   deltas into the kept tables, unless another fold is under way.
-- - The owner's steps (a DELETE or an UPDATE of counted columns through
--   quarn_sessions, archive, a recount): the turn in EXCLUSIVE mode, taken
--   before the statement touches a row (triggers below), so no push runs
--   meanwhile. The units touched are counted again from their rows, as 0004
--   did, and the deltas are folded at once, rows brought to nothing removed.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

-- One fold at a time: a fold locks this row, and so does a service
-- (0011), whose counts need the kept tables still. A push that finds it
-- taken does not fold (SKIP LOCKED): nobody waits on a fold but a service
-- and the owner's steps. Only the owner may lock it.
CREATE TABLE quarn_fold_lock (
    turn boolean PRIMARY KEY DEFAULT true CHECK (turn)
);
INSERT INTO quarn_fold_lock VALUES (true);
REVOKE ALL ON quarn_fold_lock FROM PUBLIC;

CREATE SEQUENCE quarn_fold_turn;
REVOKE ALL ON SEQUENCE quarn_fold_turn FROM PUBLIC;

-- One family's deltas (0010) added into its kept hours and days, in the
-- order of their keys; its key and figure columns read from its kept hour
-- table. cleanup: kept rows of the hours and days folded whose counts came
-- to nothing are removed (a recount would not have them). also: one more
-- step of the same statement (", s AS (...)"), over the folded groups g.
CREATE FUNCTION quarn_summaries_fold_family(family text, cleanup boolean, also text DEFAULT '')
    RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    days   text := CASE family WHEN 'hours' THEN 'days' ELSE family || '_days' END;
    keys   text;  -- the key columns but the hour
    names  text;  -- the figures' columns
    sums   text;  -- sum(x) AS x, ...
    adds   text;  -- x = t.x + EXCLUDED.x, ...
    zero   text;  -- sum(x) = 0 AND ...: a group that adds nothing
    live   text;  -- x = 0 AND ... of the counts: a row that holds nothing
    hours  timestamptz[];
BEGIN
    SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY a.attnum) FILTER (WHERE k),
           string_agg(quote_ident(a.attname), ', ' ORDER BY a.attnum) FILTER (WHERE NOT k),
           string_agg(format('sum(%1$I) AS %1$I', a.attname), ', ' ORDER BY a.attnum)
               FILTER (WHERE NOT k),
           string_agg(format('%1$I = t.%1$I + EXCLUDED.%1$I', a.attname), ', '
                      ORDER BY a.attnum) FILTER (WHERE NOT k),
           string_agg(format('sum(%I) = 0', a.attname), ' AND ' ORDER BY a.attnum)
               FILTER (WHERE NOT k),
           string_agg(format('%I = 0', a.attname), ' AND ' ORDER BY a.attnum)
               FILTER (WHERE a.attname IN ('sessions', 'units', 'failures', 'first_pass_good',
                                           'second_pass_good', 'final_good'))
      INTO keys, names, sums, adds, zero, live
    FROM (SELECT a.attname, a.attnum, a.attnum = ANY (i.indkey) AS k
          FROM pg_attribute a JOIN pg_index i ON i.indrelid = a.attrelid AND i.indisprimary
          WHERE a.attrelid = ('quarn_kept_' || family)::regclass AND a.attnum > 0
            AND NOT a.attisdropped AND a.attname <> 'hour') a;
    IF cleanup THEN
        EXECUTE format('SELECT array_agg(DISTINCT hour) FROM %I', 'quarn_delta_' || family)
            INTO hours;
    END IF;
    EXECUTE format(
        'WITH d AS (DELETE FROM %1$I RETURNING *),'
        ' g AS (SELECT hour, %3$s, %5$s FROM d GROUP BY hour, %3$s HAVING NOT (%7$s)),'
        ' h AS (INSERT INTO %2$I AS t (hour, %3$s, %4$s) SELECT hour, %3$s, %4$s FROM g'
        '       ORDER BY hour, %3$s ON CONFLICT (hour, %3$s) DO UPDATE SET %6$s)%9$s'
        ' INSERT INTO %8$I AS t (day, %3$s, %4$s)'
        ' SELECT date_trunc(''day'', hour, ''UTC'') AS day, %3$s, %5$s FROM g'
        ' GROUP BY 1, %3$s HAVING NOT (%7$s) ORDER BY 1, %3$s'
        ' ON CONFLICT (day, %3$s) DO UPDATE SET %6$s',
        'quarn_delta_' || family, 'quarn_kept_' || family, keys, names, sums, adds, zero,
        'quarn_kept_' || days, also);
    IF cleanup AND hours IS NOT NULL THEN
        EXECUTE format('DELETE FROM %I WHERE hour = ANY ($1) AND %s', 'quarn_kept_' || family, live)
            USING hours;
        EXECUTE format('DELETE FROM %I WHERE day = ANY (ARRAY(SELECT DISTINCT date_trunc(''day'','
                       ' h, ''UTC'') FROM unnest($1) h)) AND %s', 'quarn_kept_' || days, live)
            USING hours;
    END IF;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_fold_family(text, boolean, text) FROM PUBLIC;

-- Every family folded, the sockets' with each socket's counts since its
-- service (0011): sessions of later hours added, and the service's own hour
-- counted again from the rows when a delta falls in it. The rows are
-- counted in the statement that takes the deltas, so the two agree.
CREATE FUNCTION quarn_summaries_fold_all(cleanup boolean) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    f text;
BEGIN
    FOREACH f IN ARRAY ARRAY['hours', 'attempts', 'seconds', 'causes', 'slots', 'slot_attempts',
                             'slot_seconds'] LOOP
        PERFORM quarn_summaries_fold_family(f, cleanup);
    END LOOP;
    PERFORM quarn_summaries_fold_family('sockets', cleanup, $also$,
        s AS (INSERT INTO quarn_socket_since AS t
                  (station, slot, serviced_at, after_hours, in_hour)
              SELECT g.station, g.slot, k.serviced_at,
                     coalesce(sum(g.sessions) FILTER (WHERE k.serviced_at IS NULL
                                                         OR g.hour > quarn_hour(k.serviced_at)), 0),
                     CASE WHEN bool_or(g.hour = quarn_hour(k.serviced_at))
                          THEN quarn_socket_rows_after(g.station, g.slot, k.serviced_at) END
              FROM g LEFT JOIN quarn_socket_since k ON k.station = g.station AND k.slot = g.slot
              GROUP BY g.station, g.slot, k.serviced_at
              ORDER BY g.station, g.slot
              ON CONFLICT (station, slot) DO UPDATE SET
                  after_hours = t.after_hours + EXCLUDED.after_hours,
                  in_hour = coalesce(EXCLUDED.in_hour, t.in_hour))$also$);
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_fold_all(boolean) FROM PUBLIC;

-- The deltas folded now, waiting for a fold under way (the owner's steps);
-- or, by a push, only when no other fold is under way. True when folded.
CREATE FUNCTION quarn_summaries_fold(wait boolean, cleanup boolean) RETURNS boolean
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    IF wait THEN
        PERFORM FROM quarn_fold_lock FOR UPDATE;
    ELSE
        PERFORM FROM quarn_fold_lock FOR UPDATE SKIP LOCKED;
        IF NOT FOUND THEN
            RETURN false;
        END IF;
    END IF;
    PERFORM quarn_summaries_fold_all(cleanup);
    RETURN true;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_fold(boolean, boolean) FROM PUBLIC;

-- The sessions gone (-1) and come (+1) and the units' figures (each
-- figure row its sign) appended to every family's deltas, each family's rows grouped
-- by its keys.
CREATE FUNCTION quarn_summaries_add(gone quarn_counted[], came quarn_counted[],
                                    figures quarn_unit_figure[]) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    WITH
    s AS (
        SELECT 1 AS sign, c.* FROM unnest(came) c
        UNION ALL
        SELECT -1, g.* FROM unnest(gone) g),
    -- Each session as the summaries key it ('' for NULL).
    k AS (
        SELECT sign, quarn_hour(started) AS hour, coalesce(station, '') AS station,
               coalesce(file, '') AS file, coalesce("operator", '') AS "operator",
               coalesce(image_sha256, '') AS image_sha256, coalesce(outcome, '') AS outcome_key,
               outcome, coalesce(slot, '') AS slot, coalesce(repeats, 0) AS repeats, seconds,
               message, quarn_approval_mismatch(approved, server_approved)::int AS mismatch
        FROM s),
    u AS (SELECT * FROM unnest(figures)),
    hours AS (
        INSERT INTO quarn_delta_hours
            (hour, station, file, "operator", image_sha256, outcome, sessions, repeats,
             seconds_sum, mismatches, units, first_pass_good, second_pass_good, final_good)
        SELECT hour, station, file, "operator", image_sha256, outcome, sum(sessions),
               sum(repeats), sum(seconds_sum), sum(mismatches), sum(units), sum(fpg), sum(spg),
               sum(fg)
        FROM (SELECT hour, station, file, "operator", image_sha256, outcome_key AS outcome,
                     sign AS sessions, sign * repeats AS repeats,
                     sign * coalesce(seconds, 0) AS seconds_sum, sign * mismatch AS mismatches,
                     0 AS units, 0 AS fpg, 0 AS spg, 0 AS fg
              FROM k
              UNION ALL
              SELECT hour, station, file, "operator", image_sha256, outcome, 0, 0, 0, 0,
                     sign, sign * first_good, sign * second_good, sign * final_good
              FROM u) x
        GROUP BY 1, 2, 3, 4, 5, 6),
    attempts AS (
        INSERT INTO quarn_delta_attempts
            (hour, station, file, "operator", image_sha256, attempts, units)
        SELECT hour, station, file, "operator", image_sha256, attempts, sum(sign)
        FROM u GROUP BY 1, 2, 3, 4, 5, 6 HAVING sum(sign) <> 0),
    seconds AS (
        INSERT INTO quarn_delta_seconds
            (hour, station, file, "operator", image_sha256, tenths, sessions)
        SELECT hour, station, file, "operator", image_sha256, round(seconds * 10), sum(sign)
        FROM k WHERE seconds IS NOT NULL AND quarn_is_session(outcome)
        GROUP BY 1, 2, 3, 4, 5, 6),
    causes AS (
        INSERT INTO quarn_delta_causes (hour, station, image_sha256, outcome, stage, failures)
        SELECT hour, station, image_sha256, outcome, quarn_stage(message, outcome), sum(sign)
        FROM k WHERE outcome <> 'good' AND quarn_is_session(outcome)
        GROUP BY 1, 2, 3, 4, 5),
    sockets AS (
        INSERT INTO quarn_delta_sockets
            (hour, station, slot, image_sha256, sessions, passes, failures, repeats)
        SELECT hour, station, slot, image_sha256, sum(sign),
               coalesce(sum(sign) FILTER (WHERE quarn_is_attempt(outcome)), 0),
               coalesce(sum(sign) FILTER (WHERE quarn_is_attempt(outcome)
                                            AND outcome IS DISTINCT FROM 'good'), 0),
               coalesce(sum(sign * repeats) FILTER (WHERE quarn_is_attempt(outcome)), 0)
        FROM k WHERE quarn_is_session(outcome)
        GROUP BY 1, 2, 3, 4),
    slots AS (
        INSERT INTO quarn_delta_slots
            (hour, slot, outcome, sessions, mismatches, units, first_pass_good,
             second_pass_good, final_good)
        SELECT hour, slot, outcome, sum(sessions), sum(mismatches), sum(units), sum(fpg),
               sum(spg), sum(fg)
        FROM (SELECT hour, slot, outcome_key AS outcome, sign AS sessions,
                     sign * mismatch AS mismatches, 0 AS units, 0 AS fpg, 0 AS spg, 0 AS fg
              FROM k
              UNION ALL
              SELECT hour, slot, outcome, 0, 0, sign, sign * first_good, sign * second_good,
                     sign * final_good
              FROM u) x
        GROUP BY 1, 2, 3),
    slot_attempts AS (
        INSERT INTO quarn_delta_slot_attempts (hour, slot, attempts, units)
        SELECT hour, slot, attempts, sum(sign) FROM u GROUP BY 1, 2, 3 HAVING sum(sign) <> 0)
    INSERT INTO quarn_delta_slot_seconds (hour, slot, tenths, sessions)
    SELECT hour, slot, round(seconds * 10), sum(sign)
    FROM k WHERE seconds IS NOT NULL AND quarn_is_session(outcome)
    GROUP BY 1, 2, 3;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_add(quarn_counted[], quarn_counted[], quarn_unit_figure[])
    FROM PUBLIC;

-- A push's attempts of units quarn_units has (serials) merged into them,
-- each unit's row locked in the order of the serial numbers: the first,
-- second and latest attempt are the first two and the last of the kept
-- ones and the new ones together. figures: each unit's figures as they were
-- (-1; the first attempt's keys read from its row) and as they are (+1).
-- not_first: the new rows that are not their unit's first attempt, and the
-- earlier first attempts a new one came before.
CREATE FUNCTION quarn_units_merge(came quarn_counted[], serials text[],
                                  OUT figures quarn_unit_figure[], OUT not_first uuid[])
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    -- Locked first, in a statement of its own: the merge below then reads
    -- (in a snapshot of its own) every row a push that held a unit before
    -- committed, its first attempt's row too.
    PERFORM FROM quarn_units u WHERE u.serial = ANY (serials) ORDER BY u.serial FOR UPDATE;
    WITH o AS (
        SELECT u.* FROM quarn_units u WHERE u.serial = ANY (serials)),
    c AS (
        SELECT c AS r, c.serial, c.id, c.started, c.outcome FROM unnest(came) c
        WHERE c.serial = ANY (serials) AND quarn_is_attempt(c.outcome)),
    cand AS (
        SELECT serial, first_id AS id, first_started AS started, first_outcome AS outcome FROM o
        UNION ALL
        SELECT serial, second_id, second_started, second_outcome FROM o WHERE attempts >= 2
        UNION ALL
        SELECT serial, last_id, last_started, last_outcome FROM o WHERE attempts >= 3
        UNION ALL
        SELECT serial, id, started, outcome FROM c),
    ranked AS (
        SELECT cand.*,
               row_number() OVER (PARTITION BY serial ORDER BY started, id) AS n,
               row_number() OVER (PARTITION BY serial ORDER BY started DESC NULLS FIRST,
                                  id DESC) AS l
        FROM cand),
    s AS (
        SELECT r.serial, o.attempts + (SELECT count(*) FROM c WHERE c.serial = r.serial) AS attempts,
               (array_agg(r.id) FILTER (WHERE n = 1))[1] AS first_id,
               (array_agg(r.started) FILTER (WHERE n = 1))[1] AS first_started,
               (array_agg(r.outcome) FILTER (WHERE n = 1))[1] AS first_outcome,
               (array_agg(r.id) FILTER (WHERE n = 2))[1] AS second_id,
               (array_agg(r.started) FILTER (WHERE n = 2))[1] AS second_started,
               (array_agg(r.outcome) FILTER (WHERE n = 2))[1] AS second_outcome,
               (array_agg(r.id) FILTER (WHERE l = 1))[1] AS last_id,
               (array_agg(r.started) FILTER (WHERE l = 1))[1] AS last_started,
               (array_agg(r.outcome) FILTER (WHERE l = 1))[1] AS last_outcome
        FROM ranked r JOIN o USING (serial)
        GROUP BY r.serial, o.attempts),
    -- Each unit's first attempt as it was, from its row.
    was AS (
        SELECT o.serial, (SELECT quarn_counted(x) FROM quarn_sessions x
                          WHERE x.id = o.first_id LIMIT 1) AS r
        FROM o),
    up AS (
        UPDATE quarn_units u SET
            attempts = s.attempts, first_id = s.first_id, first_started = s.first_started,
            first_outcome = s.first_outcome, second_id = s.second_id,
            second_started = s.second_started, second_outcome = s.second_outcome,
            last_id = s.last_id, last_started = s.last_started, last_outcome = s.last_outcome
        FROM s WHERE u.serial = s.serial)
    SELECT ARRAY(SELECT quarn_unit_figure(-1, was.r,
                                          quarn_unit_outcomes(o.attempts, o.first_outcome,
                                                              o.second_outcome, o.last_outcome),
                                          o.attempts)
                 FROM o JOIN was USING (serial)
                 UNION ALL
                 SELECT quarn_unit_figure(1, CASE WHEN s.first_id = o.first_id THEN was.r
                                                  ELSE (SELECT c.r FROM c WHERE c.id = s.first_id LIMIT 1)
                                             END,
                                          quarn_unit_outcomes(s.attempts::integer, s.first_outcome,
                                                              s.second_outcome, s.last_outcome),
                                          s.attempts)
                 FROM s JOIN o USING (serial) JOIN was USING (serial)),
           ARRAY(SELECT c.id FROM c JOIN s USING (serial) WHERE c.id <> s.first_id
                 UNION ALL
                 SELECT o.first_id FROM o JOIN s USING (serial) WHERE o.first_id <> s.first_id)
      INTO figures, not_first;
END
$$;
REVOKE ALL ON FUNCTION quarn_units_merge(quarn_counted[], text[]) FROM PUBLIC;

-- A push's rows: each unit they bring attempts of merged into its row of
-- quarn_units, first_pass written where it changes, and every figure
-- appended.
CREATE FUNCTION quarn_summaries_came(came quarn_counted[]) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    figures   quarn_unit_figure[];  -- units' figures taken off (-1) and added (+1)
    more      quarn_unit_figure[];
    fresh     text[];               -- serial numbers new to quarn_units
    rest      text[];               -- those it had
    not_first uuid[];               -- rows whose first_pass is now false
    displaced uuid[];
BEGIN
    -- A session without a serial number is a unit of one attempt.
    figures := ARRAY(SELECT quarn_unit_figure(1, c, ARRAY[c.outcome], 1)
                     FROM unnest(came) c
                     WHERE coalesce(c.serial, '') = '' AND quarn_is_attempt(c.outcome));
    -- Units new to the table: made from the push's attempts alone. One
    -- another push makes meanwhile is waited for, then merged below.
    WITH a AS (
        SELECT c AS r, c.serial, c.id,
               row_number() OVER (PARTITION BY c.serial ORDER BY c.started, c.id) AS n,
               row_number() OVER (PARTITION BY c.serial
                                  ORDER BY c.started DESC NULLS FIRST, c.id DESC) AS l,
               count(*) OVER (PARTITION BY c.serial) AS k
        FROM unnest(came) c
        WHERE c.serial <> '' AND quarn_is_attempt(c.outcome)),
    s AS (
        SELECT serial, max(k)::integer AS attempts,
               (array_agg(r) FILTER (WHERE n = 1))[1] AS first,
               (array_agg(r) FILTER (WHERE n = 2))[1] AS second,
               (array_agg(r) FILTER (WHERE l = 1))[1] AS last
        FROM a GROUP BY serial),
    made AS (
        INSERT INTO quarn_units AS t
            (serial, attempts, first_id, first_started, first_outcome, second_id,
             second_started, second_outcome, last_id, last_started, last_outcome)
        SELECT serial, attempts, (first).id, (first).started, (first).outcome, (second).id,
               (second).started, (second).outcome, (last).id, (last).started, (last).outcome
        FROM s ORDER BY serial
        ON CONFLICT (serial) DO NOTHING
        RETURNING t.serial)
    SELECT ARRAY(SELECT serial FROM made),
           ARRAY(SELECT serial FROM s EXCEPT SELECT serial FROM made),
           ARRAY(SELECT quarn_unit_figure(1, s.first,
                                          quarn_unit_outcomes(s.attempts, (s.first).outcome,
                                                              (s.second).outcome, (s.last).outcome),
                                          s.attempts)
                 FROM s JOIN made USING (serial)),
           ARRAY(SELECT a.id FROM a JOIN made USING (serial) WHERE a.n > 1)
      INTO fresh, rest, more, not_first;
    figures := figures || more;
    IF cardinality(rest) > 0 THEN
        SELECT m.figures, m.not_first INTO more, displaced FROM quarn_units_merge(came, rest) m;
        figures := figures || more;
        not_first := not_first || displaced;
    END IF;
    IF cardinality(not_first) > 0 THEN
        UPDATE quarn_sessions SET first_pass = false
        WHERE id = ANY (not_first) AND first_pass IS DISTINCT FROM false;
    END IF;
    PERFORM quarn_summaries_add('{}', came, figures);
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_came(quarn_counted[]) FROM PUBLIC;

-- The owner's change of rows (gone no longer in quarn_sessions, came in it
-- already), as 0004 worked it out: every row now of the serial numbers
-- touched read, first_pass written where it changes (unless recount: the
-- rows are left as they are), each unit's figures as they were taken off
-- and as they are added; those units' rows of quarn_units made again from
-- their rows, and the ids of the rows gone and come kept in quarn_ids.
CREATE FUNCTION quarn_summaries_rework(gone quarn_counted[], came quarn_counted[],
                                       recount boolean) RETURNS quarn_unit_figure[]
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    figures quarn_unit_figure[];
    serials text[] := ARRAY(SELECT c.serial FROM unnest(came) c WHERE c.serial <> ''
                            UNION
                            SELECT g.serial FROM unnest(gone) g WHERE g.serial <> '');
BEGIN
    WITH
    r AS (
        SELECT quarn_counted(x) AS rec, x.id, x.serial, x.started, x.outcome, x.first_pass,
               x.id IN (SELECT c.id FROM unnest(came) c) AS is_new
        FROM unnest(serials) t(serial)
        CROSS JOIN LATERAL (SELECT * FROM quarn_sessions x WHERE x.serial = t.serial) x),
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
        SELECT 1 AS sign, rec, id, serial, started, outcome
        FROM r WHERE quarn_is_attempt(outcome)
        UNION ALL
        SELECT 1, c, c.id, c.serial, c.started, c.outcome
        FROM unnest(came) c WHERE coalesce(c.serial, '') = '' AND quarn_is_attempt(c.outcome)
        UNION ALL
        SELECT -1, rec, id, serial, started, outcome
        FROM r WHERE quarn_is_attempt(outcome) AND NOT is_new
        UNION ALL
        SELECT -1, g, g.id, g.serial, g.started, g.outcome
        FROM unnest(gone) g WHERE quarn_is_attempt(g.outcome))
    SELECT ARRAY(
        SELECT quarn_unit_figure(sign, rec, outcomes, cardinality(outcomes))
        FROM (SELECT a.sign, a.rec, row_number() OVER w AS attempt_no,
                     array_agg(a.outcome) OVER (w ROWS BETWEEN UNBOUNDED PRECEDING
                                                AND UNBOUNDED FOLLOWING) AS outcomes
              FROM attempts a
              WINDOW w AS (PARTITION BY a.sign, quarn_unit(a.serial, a.id) COLLATE "C"
                           ORDER BY a.started, a.id)) f
        WHERE attempt_no = 1)
      INTO figures;

    DELETE FROM quarn_units WHERE serial = ANY (serials);
    INSERT INTO quarn_units
        (serial, attempts, first_id, first_started, first_outcome, second_id, second_started,
         second_outcome, last_id, last_started, last_outcome)
    SELECT serial, count(*),
           (array_agg(id) FILTER (WHERE n = 1))[1], (array_agg(started) FILTER (WHERE n = 1))[1],
           (array_agg(outcome) FILTER (WHERE n = 1))[1],
           (array_agg(id) FILTER (WHERE n = 2))[1], (array_agg(started) FILTER (WHERE n = 2))[1],
           (array_agg(outcome) FILTER (WHERE n = 2))[1],
           (array_agg(id) FILTER (WHERE l = 1))[1], (array_agg(started) FILTER (WHERE l = 1))[1],
           (array_agg(outcome) FILTER (WHERE l = 1))[1]
    FROM (SELECT x.serial, x.id, x.started, x.outcome,
                 row_number() OVER (PARTITION BY x.serial ORDER BY x.started, x.id) AS n,
                 row_number() OVER (PARTITION BY x.serial ORDER BY x.started DESC NULLS FIRST,
                                    x.id DESC) AS l
          FROM unnest(serials) t(serial)
          CROSS JOIN LATERAL (SELECT * FROM quarn_sessions x WHERE x.serial = t.serial) x
          WHERE quarn_is_attempt(x.outcome)) a
    GROUP BY serial;

    DELETE FROM quarn_ids i USING unnest(gone) g
    WHERE i.id = g.id AND i.started IS NOT DISTINCT FROM g.started;
    INSERT INTO quarn_ids (id, started)
    SELECT c.id, c.started FROM unnest(came) c ORDER BY c.id
    ON CONFLICT (id) DO NOTHING;
    RETURN figures;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_rework(quarn_counted[], quarn_counted[], boolean)
    FROM PUBLIC;

-- Every change of the summaries: a push's rows (none gone, not a recount)
-- in the pushes' shared turn, appended and now and then folded; anything
-- else in the exclusive turn, folded at once.
CREATE OR REPLACE FUNCTION quarn_summaries_move(gone quarn_counted[], came quarn_counted[],
                                                recount boolean DEFAULT false) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    IF cardinality(gone) = 0 AND NOT recount THEN
        LOCK TABLE quarn_push_lock IN SHARE MODE;
        PERFORM quarn_summaries_came(came);
        IF nextval('quarn_fold_turn') % 8 = 0 THEN
            PERFORM quarn_summaries_fold(false, false);
        END IF;
    ELSE
        LOCK TABLE quarn_push_lock IN EXCLUSIVE MODE;
        PERFORM quarn_summaries_add(gone, came, quarn_summaries_rework(gone, came, recount));
        PERFORM quarn_summaries_fold(true, true);
    END IF;
END
$$;

-- Everything counted again from the rows, in the exclusive turn, as if the
-- rows had come in one push: the ids, the units (one sort of every attempt
-- by serial number), the sessions in lots in the order of their start (a
-- lot's hours are few), the units' figures grouped, all folded once; then
-- each socket's counts since its service. What `quarn-records schema
-- --refill` runs, and each migration that makes a summary.
CREATE OR REPLACE FUNCTION quarn_summaries_refill() RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    lot   quarn_counted[] := '{}';
    one   quarn_counted;
    figs  quarn_unit_figure[] := '{}';
    u     quarn_unit_figure;
BEGIN
    LOCK TABLE quarn_push_lock IN EXCLUSIVE MODE;
    PERFORM FROM quarn_fold_lock FOR UPDATE;
    PERFORM quarn_summaries_empty();
    INSERT INTO quarn_ids (id, started)
    SELECT id, started FROM quarn_sessions ORDER BY id ON CONFLICT (id) DO NOTHING;

    FOR u IN
        WITH a AS (
            SELECT quarn_counted(x) AS rec, x.serial, x.id, x.started, x.outcome,
                   row_number() OVER (PARTITION BY x.serial ORDER BY x.started, x.id) AS n,
                   row_number() OVER (PARTITION BY x.serial ORDER BY x.started DESC NULLS FIRST,
                                      x.id DESC) AS l,
                   count(*) OVER (PARTITION BY x.serial) AS k
            FROM quarn_sessions x WHERE x.serial <> '' AND quarn_is_attempt(x.outcome)),
        s AS (
            SELECT serial, max(k)::integer AS attempts,
                   (array_agg(rec) FILTER (WHERE n = 1))[1] AS first,
                   (array_agg(rec) FILTER (WHERE n = 2))[1] AS second,
                   (array_agg(rec) FILTER (WHERE l = 1))[1] AS last
            FROM a GROUP BY serial),
        made AS (
            INSERT INTO quarn_units
                (serial, attempts, first_id, first_started, first_outcome, second_id,
                 second_started, second_outcome, last_id, last_started, last_outcome)
            SELECT serial, attempts, (first).id, (first).started, (first).outcome, (second).id,
                   (second).started, (second).outcome, (last).id, (last).started,
                   (last).outcome
            FROM s)
        SELECT count(*), hour, station, file, "operator", image_sha256, outcome, slot, attempts,
               first_good, second_good, final_good
        FROM (SELECT (quarn_unit_figure(1, first, quarn_unit_outcomes(attempts, (first).outcome,
                                                                      (second).outcome,
                                                                      (last).outcome),
                                        attempts)).*
              FROM s
              UNION ALL
              SELECT (quarn_unit_figure(1, c, ARRAY[c.outcome], 1)).*
              FROM quarn_sessions s, quarn_counted(s) c
              WHERE coalesce(s.serial, '') = '' AND quarn_is_attempt(s.outcome)) f
        GROUP BY 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12
    LOOP
        figs := figs || u;
        IF cardinality(figs) >= 50000 THEN
            PERFORM quarn_summaries_add('{}', '{}', figs);
            figs := '{}';
        END IF;
    END LOOP;
    PERFORM quarn_summaries_add('{}', '{}', figs);

    FOR one IN SELECT (quarn_counted(s)).* FROM quarn_sessions s ORDER BY s.started LOOP
        lot := lot || one;
        IF cardinality(lot) >= 50000 THEN
            PERFORM quarn_summaries_add('{}', lot, '{}');
            lot := '{}';
        END IF;
    END LOOP;
    PERFORM quarn_summaries_add('{}', lot, '{}');
    PERFORM quarn_summaries_fold_all(true);
    PERFORM quarn_socket_since_recount();
END
$$;

-- Each socket's counts since its latest service, from the kept sockets'
-- hours (the deltas folded) and the rows of the service's own hour.
CREATE FUNCTION quarn_socket_since_recount() RETURNS void
    LANGUAGE sql SET search_path FROM CURRENT
BEGIN ATOMIC
    DELETE FROM quarn_socket_since;
    INSERT INTO quarn_socket_since (station, slot, serviced_at, after_hours, in_hour)
    SELECT station, slot, at,
           coalesce(sum(sessions) FILTER (WHERE at IS NULL OR hour > quarn_hour(at)), 0),
           quarn_socket_rows_after(station, slot, at)
    FROM (SELECT k.station, k.slot, k.hour, k.sessions, l.at
          FROM quarn_kept_sockets k
          LEFT JOIN (SELECT station, slot, max(serviced_at) AS at FROM quarn_socket_service
                     GROUP BY 1, 2) l ON l.station = k.station AND l.slot = k.slot
          UNION ALL
          SELECT station, slot, NULL, 0, max(serviced_at) FROM quarn_socket_service
          GROUP BY 1, 2) x
    GROUP BY station, slot, at;
END;
REVOKE ALL ON FUNCTION quarn_socket_since_recount() FROM PUBLIC;

-- Every summary, unit, id and socket count emptied (the sockets keep their
-- service): what the table's TRUNCATE and a refill start from.
CREATE FUNCTION quarn_summaries_empty() RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    TRUNCATE quarn_kept_hours, quarn_kept_attempts, quarn_kept_seconds, quarn_kept_causes,
             quarn_kept_sockets, quarn_kept_slots, quarn_kept_slot_attempts,
             quarn_kept_slot_seconds, quarn_kept_days, quarn_kept_attempts_days,
             quarn_kept_seconds_days, quarn_kept_causes_days, quarn_kept_sockets_days,
             quarn_kept_slots_days, quarn_kept_slot_attempts_days, quarn_kept_slot_seconds_days,
             quarn_delta_hours, quarn_delta_attempts, quarn_delta_seconds, quarn_delta_causes,
             quarn_delta_sockets, quarn_delta_slots, quarn_delta_slot_attempts,
             quarn_delta_slot_seconds, quarn_units, quarn_ids;
    UPDATE quarn_socket_since SET after_hours = 0, in_hour = NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_summaries_empty() FROM PUBLIC;

CREATE OR REPLACE FUNCTION quarn_summary_truncate() RETURNS trigger
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    PERFORM quarn_summaries_empty();
    RETURN NULL;
END
$$;

-- A month let go, as 0004's archive, in the exclusive turn taken first.
CREATE OR REPLACE FUNCTION quarn_sessions_archive(month date) RETURNS bigint
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
    LOCK TABLE quarn_push_lock IN EXCLUSIVE MODE;
    EXECUTE format('ALTER TABLE quarn_sessions DETACH PARTITION %I', part);
    RETURN quarn_summaries_feed(part::regclass, true);
END
$$;

-- An owner's DELETE, or UPDATE of a counted column, takes the exclusive
-- turn before it touches a row: a push under way finishes first, and none
-- starts until the statement's transaction ends. (An UPDATE of first_pass
-- alone, the pushes' own, takes nothing.)
CREATE FUNCTION quarn_sessions_turn() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
BEGIN
    LOCK TABLE quarn_push_lock IN EXCLUSIVE MODE;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_turn() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_turn_delete
    BEFORE DELETE ON quarn_sessions
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_turn();
CREATE TRIGGER quarn_sessions_turn_update
    BEFORE UPDATE OF id, serial, started, outcome, station, file, "operator", image_sha256, slot,
                     repeats, seconds, message, approved, server_approved ON quarn_sessions
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_turn();
CREATE TRIGGER quarn_sessions_turn_truncate
    BEFORE TRUNCATE ON quarn_sessions
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_turn();

-- The service log is only added to (0011's trigger); should the owner
-- delete or change a row of it, every socket's counts are made again.
CREATE FUNCTION quarn_socket_service_changed() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
BEGIN
    PERFORM quarn_summaries_fold(true, false);
    PERFORM quarn_socket_since_recount();
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_socket_service_changed() FROM PUBLIC;

CREATE TRIGGER quarn_socket_service_changed
    AFTER DELETE OR UPDATE OR TRUNCATE ON quarn_socket_service
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_socket_service_changed();

-- The new tables filled from the rows already there.
SELECT quarn_summaries_refill();
