-- 0007 What each group role may do, in one place.
--
--   quarn_station   add records (quarn_push: no INSERT into quarn_sessions,
--                   no month maker of its own), read the approved list, and
--                   ask a serial number's failed attempts (quarn_attempts)
--   quarn_engineer  what a station may (the roles' script makes it a member
--                   of quarn_station), and approve and revoke images, count
--                   an image's units, and record a socket's service; the
--                   server stamps who and when
--   quarn_viewer    read the sessions, the daily view, the approved list,
--                   the summaries and the sockets' service log, and count
--                   an image's units; nothing else
--
-- The group roles are the server's, made by its superuser (quarn-records
-- schema --roles), perhaps after the schema: quarn_grant_roles gives each
-- role that exists its rights, and runs again at the end of that script. A
-- later migration that changes a role's rights makes the function again,
-- whole, and calls it.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE FUNCTION quarn_grant_roles() RETURNS void
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_station') THEN
        REVOKE INSERT ON quarn_sessions FROM quarn_station;
        GRANT EXECUTE ON PROCEDURE quarn_push(json, timestamptz[], bigint) TO quarn_station;
        GRANT EXECUTE ON FUNCTION quarn_push_rows(json), quarn_push_months(timestamptz[])
            TO quarn_station;
        GRANT SELECT ON quarn_images TO quarn_station;
        GRANT EXECUTE ON FUNCTION quarn_attempts(text), quarn_attempts(text, uuid[])
            TO quarn_station;
    END IF;
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_engineer') THEN
        -- approved_by and approved_at come from their defaults, the revoked
        -- columns from the trigger: the server stamps them.
        GRANT INSERT (sha256, length, file, title, note),
              UPDATE (revoked_by, revoked_at, note)
            ON quarn_images TO quarn_engineer;
        GRANT EXECUTE ON FUNCTION quarn_image_units(text) TO quarn_engineer;
        -- serviced_at and serviced_by likewise.
        GRANT INSERT (station, slot, note) ON quarn_socket_service TO quarn_engineer;
    END IF;
    IF EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_viewer') THEN
        GRANT SELECT ON quarn_sessions, quarn_yield_daily, quarn_images, quarn_socket_service,
                        quarn_summary_hours, quarn_summary_attempts, quarn_summary_seconds,
                        quarn_summary_causes, quarn_summary_sockets
            TO quarn_viewer;
        GRANT EXECUTE ON FUNCTION quarn_image_units(text) TO quarn_viewer;
    END IF;
END
$$;
REVOKE ALL ON FUNCTION quarn_grant_roles() FROM PUBLIC;

SELECT quarn_grant_roles();
