-- 0001 The sessions: one row for each record a station pushed.
--
-- quarn_sessions has one column for each key of a record, in the order the
-- record's column table gives them (record/columns.h in the programs'
-- sources; a test holds this file to it), then the four columns the server
-- fills itself. The table is partitioned by month of started, in UTC:
-- quarn_sessions_2026_12 and so on, each made by quarn_sessions_month below
-- when a month's first record comes, and quarn_sessions_default for rows
-- without a start and for months without a partition of their own.
--
-- Every function this file and the next ones make that runs with the
-- owner's rights keeps the search_path it was made with, set in the same
-- statement (SET search_path FROM CURRENT): this schema, then pg_temp last,
-- pg_catalog being searched first whenever it is not named. So no object a
-- caller puts on a path of its own is ever used by them.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_sessions (
    -- A record as a station wrote it: its claim.
    id              uuid NOT NULL,
    started         timestamptz,
    seconds         double precision,
    station         text,
    "operator"      text,
    serial          text,
    slot            text,
    port            text,
    device          text,
    file            text,
    length          integer,
    bytes           integer,
    blocks          integer,
    repeats         integer,
    sha256          text,
    image_sha256    text,
    outcome         text,
    message         text,
    version         text,
    approved        boolean,
    -- The server's own word, set as the row arrives (0003, 0004).
    first_pass      boolean,      -- the serial number's first attempt
    pushed_by       text,         -- the login that inserted the row
    received_at     timestamptz,  -- the server's time of the insert
    server_approved boolean,      -- the approved list's verdict at started
    -- One row per record: a push sent again inserts nothing. A partitioned
    -- table's unique keys hold its partition key, hence (id, started);
    -- quarn_sessions_one_id below keeps an id one record's across months.
    CONSTRAINT quarn_sessions_record UNIQUE NULLS NOT DISTINCT (id, started)
) PARTITION BY RANGE (started);

CREATE TABLE quarn_sessions_default PARTITION OF quarn_sessions DEFAULT;

-- A period, a station's period, a serial number's history (trace, the
-- first-pass upkeep, the retest limit), a station's latest failure (the
-- plant's tiles), and the good sessions of an image by a prefix of its
-- sha256 (the recall list; text_pattern_ops serves LIKE 'prefix%' in any
-- collation).
CREATE INDEX quarn_sessions_started ON quarn_sessions (started);
CREATE INDEX quarn_sessions_station_started ON quarn_sessions (station, started);
CREATE INDEX quarn_sessions_serial ON quarn_sessions (serial, started, id);
CREATE INDEX quarn_sessions_failures ON quarn_sessions (station, started)
    WHERE outcome IS DISTINCT FROM 'good';
CREATE INDEX quarn_sessions_good_image ON quarn_sessions (image_sha256 text_pattern_ops, started)
    WHERE outcome = 'good';

-- The pushes' turn: whatever writes the summaries (0004) takes the one row
-- of this table FOR UPDATE first, so no two pushes ever wait on each
-- other's summary rows in a different order. Only the owner may lock it:
-- no login can hold the plant's pushes up by taking it.
CREATE TABLE quarn_push_lock (
    turn boolean PRIMARY KEY DEFAULT true CHECK (turn)
);
INSERT INTO quarn_push_lock VALUES (true);
REVOKE ALL ON quarn_push_lock FROM PUBLIC;

-- One month's partition, from midnight UTC on its first day to midnight
-- UTC on the next month's, whatever the caller's TimeZone and DateStyle;
-- rows of that month waiting in the default partition move into it. Only
-- months from 2000 to next month: a unit with a wrong clock makes none.
-- wait false: none when another session holds the locks it needs (a reader
-- of the default partition), so that a push never waits on a login's open
-- transaction; the rows then stay in the default partition and a later push
-- or the owner makes the month. True when the month has its partition.
CREATE FUNCTION quarn_sessions_month(m timestamptz, wait boolean) RETURNS boolean
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    t    timestamp := date_trunc('month', m AT TIME ZONE 'UTC');
    part text := 'quarn_sessions_' || to_char(t, 'YYYY_MM');
    lo   text := to_char(t, 'YYYY-MM-DD') || ' 00:00:00+00';
    hi   text := to_char(t + interval '1 month', 'YYYY-MM-DD') || ' 00:00:00+00';
BEGIN
    IF t < '2000-01-01'
            OR t >= date_trunc('month', now() AT TIME ZONE 'UTC') + interval '2 months' THEN
        RETURN false;
    END IF;
    IF to_regclass(part) IS NOT NULL THEN
        RETURN true;
    END IF;
    IF wait THEN
        LOCK TABLE ONLY quarn_sessions IN SHARE UPDATE EXCLUSIVE MODE;
        LOCK TABLE quarn_sessions_default IN ACCESS EXCLUSIVE MODE;
    ELSE
        BEGIN
            LOCK TABLE ONLY quarn_sessions IN SHARE UPDATE EXCLUSIVE MODE NOWAIT;
            LOCK TABLE quarn_sessions_default IN ACCESS EXCLUSIVE MODE NOWAIT;
        EXCEPTION WHEN lock_not_available THEN
            RETURN false;
        END;
    END IF;
    IF to_regclass(part) IS NOT NULL THEN  -- made meanwhile
        RETURN true;
    END IF;
    EXECUTE format('CREATE TABLE %I (LIKE quarn_sessions INCLUDING DEFAULTS INCLUDING CONSTRAINTS)',
                   part);
    EXECUTE format('WITH moved AS (DELETE FROM quarn_sessions_default'
                   ' WHERE started >= %L AND started < %L RETURNING *)'
                   ' INSERT INTO %I SELECT * FROM moved', lo, hi, part);
    EXECUTE format('ALTER TABLE quarn_sessions ATTACH PARTITION %I FOR VALUES FROM (%L) TO (%L)',
                   part, lo, hi);
    RETURN true;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_month(timestamptz, boolean) FROM PUBLIC;

-- The owner's month maker, for any months from 2000 to next month (a
-- station makes only its neighbours', through quarn_push: 0006).
CREATE FUNCTION quarn_sessions_months(months timestamptz[]) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    t timestamptz;
BEGIN
    FOR t IN SELECT DISTINCT date_trunc('month', x, 'UTC') FROM unnest(months) x ORDER BY 1 LOOP
        PERFORM quarn_sessions_month(t, true);
    END LOOP;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_months(timestamptz[]) FROM PUBLIC;

-- An id is one record's, in whatever partition: a row whose id another
-- row of another start holds is refused (the push keeps its line in
-- LOG.rejected). Checked in the pushes' turn, after the statement.
CREATE FUNCTION quarn_sessions_one_id() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    taken uuid;
BEGIN
    PERFORM FROM quarn_push_lock FOR UPDATE;
    SELECT n.id INTO taken
    FROM quarn_one_id_new n
    JOIN quarn_sessions s ON s.id = n.id AND s.started IS DISTINCT FROM n.started
    LIMIT 1;
    IF taken IS NOT NULL THEN
        RAISE EXCEPTION 'id % is another record''s already', taken
            USING ERRCODE = 'unique_violation';
    END IF;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_one_id() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_one_id
    AFTER INSERT ON quarn_sessions
    REFERENCING NEW TABLE AS quarn_one_id_new
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_one_id();
