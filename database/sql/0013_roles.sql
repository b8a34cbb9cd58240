-- 0013 The roles' rights with the summaries' views (0010, 0011): as 0007,
-- and a viewer reads the views by hour and by day and each socket's
-- sessions since service (a view that counts one hour's rows of a socket
-- through quarn_socket_rows_after); the kept tables, the deltas, the units
-- and the ids are the owner's alone.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE OR REPLACE FUNCTION quarn_grant_roles() RETURNS void
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
                        quarn_summary_causes, quarn_summary_sockets, quarn_summary_slots,
                        quarn_summary_slot_attempts, quarn_summary_slot_seconds,
                        quarn_summary_days, quarn_summary_attempts_days,
                        quarn_summary_seconds_days, quarn_summary_causes_days,
                        quarn_summary_sockets_days, quarn_summary_slots_days,
                        quarn_summary_slot_attempts_days, quarn_summary_slot_seconds_days,
                        quarn_summary_since_service
            TO quarn_viewer;
        GRANT EXECUTE ON FUNCTION quarn_image_units(text),
                                  quarn_socket_rows_after(text, text, timestamptz)
            TO quarn_viewer;
    END IF;
END
$$;
REVOKE ALL ON FUNCTION quarn_grant_roles() FROM PUBLIC;

SELECT quarn_grant_roles();
