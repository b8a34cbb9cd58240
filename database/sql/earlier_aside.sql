-- A database made by an earlier release of Quarn Download (no ledger), as
-- `quarn-records migrate` brings it up to date, in one transaction with
-- the numbered files and earlier_back.sql: first its tables are set aside
-- under names ending in _earlier (their rows, grants and the plant's own
-- columns are taken over by earlier_back.sql, then they are dropped), and
-- its functions, triggers and view, which the numbered files make again,
-- are dropped. Earlier releases differ in what they made (a plain table
-- or one partitioned by month, with or without the summaries, the sockets'
-- log, the stamps): whatever of it is there is set aside.
--
-- quarn_sessions is locked first, for the whole move: pushes end as busy
-- and send later (their records wait in the stations' logs), reports wait.
LOCK TABLE quarn_sessions IN ACCESS EXCLUSIVE MODE;

DO $$
DECLARE
    t text;
    o record;
BEGIN
    -- Triggers of this schema's own on its tables, then every function and
    -- procedure named quarn_*: a plant's object built on one of them stops
    -- the move here, whole.
    FOR o IN SELECT g.tgname, g.tgrelid::regclass AS rel
             FROM pg_trigger g JOIN pg_class c ON c.oid = g.tgrelid
             WHERE NOT g.tgisinternal AND g.tgname LIKE 'quarn\_%'
               AND c.relnamespace = current_schema()::regnamespace
               AND g.tgparentid = 0 LOOP
        EXECUTE format('DROP TRIGGER %I ON %s', o.tgname, o.rel);
    END LOOP;
    FOR o IN SELECT p.oid::regprocedure AS routine
             FROM pg_proc p
             WHERE p.proname LIKE 'quarn\_%' AND p.pronamespace = current_schema()::regnamespace LOOP
        EXECUTE format('DROP ROUTINE %s', o.routine);
    END LOOP;
    -- The tables, the view, and each partition of quarn_sessions (months
    -- detached by hand before are no partitions: they stay as they are).
    FOR t IN SELECT c.relname
             FROM pg_inherits i JOIN pg_class c ON c.oid = i.inhrelid
             WHERE i.inhparent = 'quarn_sessions'::regclass LOOP
        EXECUTE format('ALTER TABLE %I RENAME TO %I', t, t || '_earlier');
    END LOOP;
    FOREACH t IN ARRAY ARRAY['quarn_sessions', 'quarn_images', 'quarn_socket_service',
                             'quarn_push_lock', 'quarn_summary_hours', 'quarn_summary_attempts',
                             'quarn_summary_seconds', 'quarn_summary_causes',
                             'quarn_summary_sockets', 'quarn_yield_daily'] LOOP
        CONTINUE WHEN to_regclass(t) IS NULL;
        -- Their indexes bear the names the new tables' take.
        FOR o IN SELECT c.relname AS index
                 FROM pg_index x JOIN pg_class c ON c.oid = x.indexrelid
                 WHERE x.indrelid = to_regclass(t) LOOP
            EXECUTE format('ALTER INDEX %I RENAME TO %I', o.index, left(o.index, 40) || '_earlier');
        END LOOP;
        IF (SELECT relkind FROM pg_class WHERE oid = to_regclass(t)) = 'v' THEN
            EXECUTE format('ALTER VIEW %I RENAME TO %I', t, t || '_earlier');
        ELSE
            EXECUTE format('ALTER TABLE %I RENAME TO %I', t, t || '_earlier');
        END IF;
    END LOOP;
END
$$;
