-- 0010 The summaries by hour and by UTC day, kept without a plant-wide turn.
--
-- Each summary is a family of three tables and two views (F: hours, the
-- sessions' and units' figures; attempts; seconds; causes; sockets; and by
-- slot alone: slots, slot_attempts, slot_seconds):
--   quarn_kept_F         by hour: what the fold has added up (the tables
--                        0004 made, renamed)
--   quarn_kept_D         the same by UTC day (D: days for hours, F_days
--                        for the others), column day in place of hour
--   quarn_delta_F        by hour, no key: what pushes added since the last
--                        fold, appended without a lock (0012), each push's
--                        rows grouped
--   quarn_summary_F      view: kept and deltas by hour
--   quarn_summary_D      view: kept and deltas by UTC day
-- Every figure is a sum, so a reader sums a view's rows as it summed the
-- tables: the same figures, now or after the fold. A push never waits on
-- another's summary rows; the fold (0012) moves the deltas into the kept
-- tables, one folder at a time. A period reads whole days from the day
-- views, the part days at its edges from the hour views, and the part hours
-- from quarn_sessions (figures/summary_split.h in the programs' sources).
--
-- By slot alone (the slot as the records name it, across stations), for
-- `report --by slot`: per hour, slot and outcome the sessions, approval
-- mismatches and, at each unit's first attempt, its units, first-pass,
-- second-pass and final good; units by attempts; the seconds' histogram.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

ALTER TABLE quarn_summary_hours RENAME TO quarn_kept_hours;
ALTER TABLE quarn_summary_attempts RENAME TO quarn_kept_attempts;
ALTER TABLE quarn_summary_seconds RENAME TO quarn_kept_seconds;
ALTER TABLE quarn_summary_causes RENAME TO quarn_kept_causes;
ALTER TABLE quarn_summary_sockets RENAME TO quarn_kept_sockets;
ALTER INDEX quarn_summary_hours_pkey RENAME TO quarn_kept_hours_pkey;
ALTER INDEX quarn_summary_attempts_pkey RENAME TO quarn_kept_attempts_pkey;
ALTER INDEX quarn_summary_seconds_pkey RENAME TO quarn_kept_seconds_pkey;
ALTER INDEX quarn_summary_causes_pkey RENAME TO quarn_kept_causes_pkey;
ALTER INDEX quarn_summary_sockets_pkey RENAME TO quarn_kept_sockets_pkey;

CREATE TABLE quarn_kept_slots (
    hour             timestamptz NOT NULL,
    slot             text NOT NULL,
    outcome          text NOT NULL,
    sessions         bigint NOT NULL DEFAULT 0,
    mismatches       bigint NOT NULL DEFAULT 0,
    units            bigint NOT NULL DEFAULT 0,
    first_pass_good  bigint NOT NULL DEFAULT 0,
    second_pass_good bigint NOT NULL DEFAULT 0,
    final_good       bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, slot, outcome)
);

CREATE TABLE quarn_kept_slot_attempts (
    hour     timestamptz NOT NULL,
    slot     text NOT NULL,
    attempts bigint NOT NULL,
    units    bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, slot, attempts)
);

CREATE TABLE quarn_kept_slot_seconds (
    hour     timestamptz NOT NULL,
    slot     text NOT NULL,
    tenths   double precision NOT NULL,
    sessions bigint NOT NULL DEFAULT 0,
    PRIMARY KEY (hour, slot, tenths)
);

-- Each family's day table, deltas and views, made alike from its hour
-- table. The kept tables leave room on their pages, so that the fold's
-- updates stay on the page (no new index entry) as a day goes on.
DO $$
DECLARE
    f    text;
    d    text;
    keys text;
    cols text;
BEGIN
    FOREACH f IN ARRAY ARRAY['hours', 'attempts', 'seconds', 'causes', 'sockets', 'slots',
                             'slot_attempts', 'slot_seconds'] LOOP
        d := CASE f WHEN 'hours' THEN 'days' ELSE f || '_days' END;
        SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY a.attnum) INTO keys
        FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = ANY (i.indkey)
        WHERE i.indrelid = ('quarn_kept_' || f)::regclass AND i.indisprimary AND a.attname <> 'hour';
        SELECT string_agg(quote_ident(a.attname), ', ' ORDER BY a.attnum) INTO cols
        FROM pg_attribute a
        WHERE a.attrelid = ('quarn_kept_' || f)::regclass AND a.attnum > 0 AND NOT a.attisdropped
          AND a.attname <> 'hour';
        EXECUTE format('ALTER TABLE %I SET (fillfactor = 70)', 'quarn_kept_' || f);
        EXECUTE format('CREATE TABLE %I (LIKE %I INCLUDING DEFAULTS) WITH (fillfactor = 70)',
                       'quarn_kept_' || d, 'quarn_kept_' || f);
        EXECUTE format('ALTER TABLE %I RENAME COLUMN hour TO day', 'quarn_kept_' || d);
        EXECUTE format('ALTER TABLE %I ADD PRIMARY KEY (day, %s)', 'quarn_kept_' || d, keys);
        EXECUTE format('CREATE TABLE %I (LIKE %I INCLUDING DEFAULTS)', 'quarn_delta_' || f,
                       'quarn_kept_' || f);
        EXECUTE format('CREATE VIEW %I AS SELECT hour, %s FROM %I UNION ALL SELECT hour, %s FROM %I',
                       'quarn_summary_' || f, cols, 'quarn_kept_' || f, cols, 'quarn_delta_' || f);
        EXECUTE format('CREATE VIEW %I AS SELECT day, %s FROM %I UNION ALL'
                       ' SELECT date_trunc(''day'', hour, ''UTC'') AS day, %s FROM %I',
                       'quarn_summary_' || d, cols, 'quarn_kept_' || d, cols, 'quarn_delta_' || f);
        EXECUTE format('REVOKE ALL ON %I, %I, %I FROM PUBLIC', 'quarn_kept_' || f,
                       'quarn_kept_' || d, 'quarn_delta_' || f);
    END LOOP;
END
$$;

-- Whoever read the summary tables (a plant's dashboard role) reads the
-- views of their names; the kept tables are the owner's alone.
DO $$
DECLARE
    g record;
BEGIN
    FOR g IN SELECT r.relname, a.grantee
             FROM pg_class r, aclexplode(r.relacl) a
             WHERE r.relname IN ('quarn_kept_hours', 'quarn_kept_attempts', 'quarn_kept_seconds',
                                 'quarn_kept_causes', 'quarn_kept_sockets')
               AND r.relnamespace = current_schema()::regnamespace
               AND a.grantee <> r.relowner AND a.privilege_type = 'SELECT' LOOP
        EXECUTE format('GRANT SELECT ON %I TO %s', replace(g.relname, 'quarn_kept_', 'quarn_summary_'),
                       CASE WHEN g.grantee = 0 THEN 'PUBLIC'
                            ELSE quote_ident(pg_get_userbyid(g.grantee)) END);
        EXECUTE format('REVOKE ALL ON %I FROM %s', g.relname,
                       CASE WHEN g.grantee = 0 THEN 'PUBLIC'
                            ELSE quote_ident(pg_get_userbyid(g.grantee)) END);
    END LOOP;
END
$$;

-- The daily view, as 0004 made it, read from the day views: a day's
-- figures cost its rows there, whatever the hours behind them.
CREATE OR REPLACE VIEW quarn_yield_daily AS
SELECT d.day, nullif(d.station, '') AS station, d.sessions, d.good, d.failed,
       d.first_pass_yield, m.median AS median_seconds,
       d.second_pass_yield, d.final_yield, d.held
FROM (SELECT CASE WHEN day > '-infinity' THEN day END AS day,
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
      FROM quarn_summary_days
      GROUP BY 1, 2) d
LEFT JOIN (
    SELECT day, station,
           (min(v) FILTER (WHERE upto > floor((total - 1) / 2.0))
            + min(v) FILTER (WHERE upto > ceil((total - 1) / 2.0))) / 2 AS median
    FROM (SELECT day, station, v,
                 sum(n) OVER (PARTITION BY day, station ORDER BY v) AS upto,
                 sum(n) OVER (PARTITION BY day, station) AS total
          FROM (SELECT CASE WHEN day > '-infinity' THEN day END AS day,
                       station, tenths / 10.0 AS v, sum(sessions) AS n
                FROM quarn_summary_seconds_days
                GROUP BY 1, 2, 3) g) c
    GROUP BY day, station) m
    ON m.day IS NOT DISTINCT FROM d.day AND m.station = d.station;
