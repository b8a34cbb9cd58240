-- 0006 How a station adds rows, what it may ask, and who is told.
--
-- A station adds rows only through CALL quarn_push(rows, months), a
-- procedure that commits. A transaction a station could leave open would
-- hold what a push holds until its commit (the pushes' turn, the summaries'
-- rows, the default partition while a month is made), and every other
-- station's push would wait on it. So a station has no INSERT on
-- quarn_sessions and no month maker of its own: quarn_push commits first
-- (which the server refuses inside a caller's transaction, an implicit one
-- of several statements sent at once included), makes the months in a
-- transaction of its own, then inserts the rows in another, and commits:
-- nothing it takes outlives its CALL. The work is done by two functions run
-- as the owner, which refuse to run unless quarn_push itself called them.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

-- Raises 42501 unless the statement the client sent is a CALL of
-- quarn_push of this schema: the outermost frame of the server's call
-- stack (its last line) names it as the server names it (its schema's name
-- before it when that schema is not on the session's path; a procedure of
-- another schema, pg_temp's included, named so too). Between that frame and
-- the caller runs only quarn_push's own body. Only the signature and the
-- characters around it are read, never the server's words, which are in
-- its own language.
CREATE FUNCTION quarn_push_caller(stack text) RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    caller text := substring(stack from '[^\n]*$');
    home   text := quote_ident(current_schema());
    at     integer := strpos(caller, 'quarn_push(json,timestamp with time zone[],bigint)');
BEGIN
    IF at = 0 OR (substr(caller, at - 1, 1) ~ '[[:alnum:]_$."]'
                  AND right(left(caller, at - 1), length(home) + 1) <> home || '.') THEN
        RAISE EXCEPTION 'rows are added only by CALL quarn_push(rows, months)'
            USING ERRCODE = 'insufficient_privilege';
    END IF;
END
$$;
REVOKE ALL ON FUNCTION quarn_push_caller(text) FROM PUBLIC;

-- The months a push brings, made when they lack a partition: only last,
-- this and next month (UTC), never waiting for a lock (the rows then go to
-- the default partition, and a later push or the owner makes the month).
-- Older records go to the default partition; the owner makes their months
-- (quarn-records migrate, or quarn_sessions_months).
CREATE FUNCTION quarn_push_months(months timestamptz[]) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    stack text;
    this  timestamp := date_trunc('month', now() AT TIME ZONE 'UTC');
    t     timestamp;
BEGIN
    GET DIAGNOSTICS stack = PG_CONTEXT;
    PERFORM quarn_push_caller(stack);
    FOR t IN SELECT DISTINCT date_trunc('month', x AT TIME ZONE 'UTC') FROM unnest(months) x
             ORDER BY 1 LOOP
        CONTINUE WHEN t < this - interval '1 month' OR t > this + interval '1 month';
        PERFORM quarn_sessions_month(t AT TIME ZONE 'UTC', false);
    END LOOP;
END
$$;
REVOKE ALL ON FUNCTION quarn_push_months(timestamptz[]) FROM PUBLIC;

-- The rows, a JSON array of records (one key a column; a key missing, or of
-- the wrong kind, is NULL), inserted idempotently: a record already there
-- is left as it is. Only the record's own columns: the server's are its
-- own (0003). The rows inserted.
CREATE FUNCTION quarn_push_rows(rows json) RETURNS bigint
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    stack text;
    added bigint;
BEGIN
    GET DIAGNOSTICS stack = PG_CONTEXT;
    PERFORM quarn_push_caller(stack);
    INSERT INTO quarn_sessions
        (id, started, seconds, station, "operator", serial, slot, port, device, file,
         length, bytes, blocks, repeats, sha256, image_sha256, outcome, message, version,
         approved)
    SELECT id, started, seconds, station, "operator", serial, slot, port, device, file,
           length, bytes, blocks, repeats, sha256, image_sha256, outcome, message, version,
           approved
    FROM json_to_recordset(rows) AS r (
        id uuid, started timestamptz, seconds double precision, station text,
        "operator" text, serial text, slot text, port text, device text, file text,
        length integer, bytes integer, blocks integer, repeats integer, sha256 text,
        image_sha256 text, outcome text, message text, version text, approved boolean)
    ON CONFLICT DO NOTHING;
    GET DIAGNOSTICS added = ROW_COUNT;
    RETURN added;
END
$$;
REVOKE ALL ON FUNCTION quarn_push_rows(json) FROM PUBLIC;

-- What a station calls; added: the rows inserted. It runs with the
-- caller's rights and no path of its own (a procedure that sets one may not
-- commit); the two functions it calls run as the owner.
CREATE PROCEDURE quarn_push(rows json, months timestamptz[], INOUT added bigint DEFAULT NULL)
    LANGUAGE plpgsql
AS $$
BEGIN
    COMMIT;  -- the call's own transactions: refused inside a caller's
    IF cardinality(months) > 0 THEN
        PERFORM quarn_push_months(months);
        COMMIT;
    END IF;
    added := quarn_push_rows(rows);
    COMMIT;
END
$$;
REVOKE ALL ON PROCEDURE quarn_push(json, timestamptz[], bigint) FROM PUBLIC;

-- A serial number's failed attempts on every station (0 for an empty
-- serial number), for the retest limit: the count and nothing else of the
-- table, read with the owner's rights. The serial index makes it a short
-- range scan.
CREATE FUNCTION quarn_attempts(serial text) RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path FROM CURRENT
BEGIN ATOMIC
    SELECT count(*)::integer
    FROM quarn_sessions s
    WHERE quarn_attempts.serial <> '' AND s.serial = quarn_attempts.serial
      AND quarn_is_failed_attempt(s.outcome);
END;
REVOKE ALL ON FUNCTION quarn_attempts(text) FROM PUBLIC;

-- The same, and those of the ids given (the station's failed attempts of it
-- still waiting in its log) that the table has not.
CREATE FUNCTION quarn_attempts(serial text, waiting uuid[]) RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path FROM CURRENT
BEGIN ATOMIC
    SELECT quarn_attempts(quarn_attempts.serial)
           + (SELECT count(DISTINCT w)
              FROM unnest(waiting) w
              WHERE quarn_attempts.serial <> ''
                AND NOT EXISTS (SELECT FROM quarn_sessions s
                                WHERE s.serial = quarn_attempts.serial AND s.id = w))::integer;
END;
REVOKE ALL ON FUNCTION quarn_attempts(text, uuid[]) FROM PUBLIC;

-- A NOTIFY on quarn_sessions once per statement that inserted rows (none
-- when every row was there already), delivered when its transaction
-- commits, for windows that follow the records live. The payload: the
-- earliest start of the rows inserted (ISO 8601, UTC), empty when none had one.
CREATE FUNCTION quarn_sessions_notify() RETURNS trigger
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
DECLARE
    inserted bigint;
    earliest timestamptz;
BEGIN
    SELECT count(*), min(started) INTO inserted, earliest FROM quarn_notify_new;
    IF inserted > 0 THEN
        PERFORM pg_notify('quarn_sessions',
                          coalesce(to_char(earliest AT TIME ZONE 'UTC',
                                           'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'), ''));
    END IF;
    RETURN NULL;
END
$$;

CREATE TRIGGER quarn_sessions_notify
    AFTER INSERT ON quarn_sessions
    REFERENCING NEW TABLE AS quarn_notify_new
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_sessions_notify();
