-- 0008 One record an id, checked without the pushes' turn.
--
-- quarn_ids holds each row's id once, with its start: its primary key is
-- the one place where two pushes bringing the same id meet, the later one
-- waiting for the earlier one's commit on that key alone. So the check no
-- longer takes the plant-wide turn, and no longer probes every month's
-- partition for each new id. The owner's steps keep it (0012), and the
-- refill makes it again from the rows.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_ids (
    id      uuid PRIMARY KEY,
    started timestamptz
);
REVOKE ALL ON quarn_ids FROM PUBLIC;

-- The statement's rows' ids taken, in the order of the ids (two pushes
-- that share several ids take them in the same order); an id another row
-- of another start holds is refused (the push keeps its line in
-- LOG.rejected). A row pushed again never comes here: the insert skipped it.
CREATE OR REPLACE FUNCTION quarn_sessions_one_id() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
DECLARE
    taken uuid;
BEGIN
    INSERT INTO quarn_ids (id, started)
    SELECT id, started FROM quarn_one_id_new ORDER BY id
    ON CONFLICT (id) DO NOTHING;
    SELECT n.id INTO taken
    FROM quarn_one_id_new n
    JOIN quarn_ids i ON i.id = n.id AND i.started IS DISTINCT FROM n.started
    LIMIT 1;
    IF taken IS NOT NULL THEN
        RAISE EXCEPTION 'id % is another record''s already', taken
            USING ERRCODE = 'unique_violation';
    END IF;
    RETURN NULL;
END
$$;
