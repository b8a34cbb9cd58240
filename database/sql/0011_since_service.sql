-- 0011 Each socket's sessions since its latest service, kept as a count.
--
-- A socket's sessions since service are its sessions (held records are
-- none) started after its latest row in quarn_socket_service, every one
-- when it has none (those without a start too). quarn_socket_since keeps
-- per socket (station and slot as the summaries key them) that service and
-- two counts, so that a reader adds up one row a socket and the deltas not
-- yet folded, however long ago the service was:
--   after_hours  its sessions in the kept sockets' hours after the
--                service's hour (every hour when never serviced)
--   in_hour      its sessions of the service's own hour after it (NULL: 0)
-- The fold (0012) adds each delta's sessions of a later hour to after_hours
-- and counts in_hour again from the rows when a delta falls in the
-- service's hour; a service counts both again (the kept summaries held
-- still meanwhile). quarn_summary_since_service is what readers read: the
-- kept counts, the deltas of later hours, and for a socket with a delta of
-- its service's hour not yet folded, that hour's rows counted.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_socket_since (
    station     text NOT NULL,
    slot        text NOT NULL,
    serviced_at timestamptz,
    after_hours bigint NOT NULL DEFAULT 0,
    in_hour     bigint,
    PRIMARY KEY (station, slot)
) WITH (fillfactor = 70);
REVOKE ALL ON quarn_socket_since FROM PUBLIC;

-- The socket's sessions of at's hour started after at, from the rows (one
-- hour of its station's rows, by their index); 0 for no at.
CREATE FUNCTION quarn_socket_rows_after(station text, slot text, at timestamptz) RETURNS bigint
    LANGUAGE plpgsql STABLE SET search_path FROM CURRENT
AS $$
DECLARE
    n bigint := 0;
BEGIN
    IF at IS NULL THEN
        RETURN 0;
    ELSIF station = '' THEN  -- the summaries' key of a NULL station
        SELECT count(*) INTO n FROM quarn_sessions s
        WHERE (s.station IS NULL OR s.station = '')
          AND s.started > at AND s.started < quarn_hour(at) + interval '1 hour'
          AND coalesce(s.slot, '') = quarn_socket_rows_after.slot AND quarn_is_session(s.outcome);
    ELSE
        SELECT count(*) INTO n FROM quarn_sessions s
        WHERE s.station = quarn_socket_rows_after.station
          AND s.started > at AND s.started < quarn_hour(at) + interval '1 hour'
          AND coalesce(s.slot, '') = quarn_socket_rows_after.slot AND quarn_is_session(s.outcome);
    END IF;
    RETURN n;
END
$$;
REVOKE ALL ON FUNCTION quarn_socket_rows_after(text, text, timestamptz) FROM PUBLIC;

-- The socket's sessions in the kept sockets' summary after at's hour:
-- whole days after at's day, then the hours of that day after at's hour.
CREATE FUNCTION quarn_socket_kept_after(station text, slot text, at timestamptz) RETURNS bigint
    LANGUAGE sql STABLE
BEGIN ATOMIC
    SELECT coalesce((SELECT sum(d.sessions) FROM quarn_kept_sockets_days d
                     WHERE d.station = quarn_socket_kept_after.station
                       AND d.slot = quarn_socket_kept_after.slot
                       AND d.day > date_trunc('day', at, 'UTC')), 0)
         + coalesce((SELECT sum(h.sessions) FROM quarn_kept_sockets h
                     WHERE h.station = quarn_socket_kept_after.station
                       AND h.slot = quarn_socket_kept_after.slot
                       AND h.hour > quarn_hour(at)
                       AND h.hour < date_trunc('day', at, 'UTC') + interval '1 day'), 0);
END;
REVOKE ALL ON FUNCTION quarn_socket_kept_after(text, text, timestamptz) FROM PUBLIC;

-- A service recorded: each socket's counts from its latest service on,
-- unless the one kept is later. It waits for a fold under way (its
-- transaction's commit) and holds folds off until its own commit, never a
-- push: pushes only append.
CREATE FUNCTION quarn_socket_serviced() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path FROM CURRENT
AS $$
BEGIN
    PERFORM FROM quarn_fold_lock FOR UPDATE;
    INSERT INTO quarn_socket_since AS t (station, slot, serviced_at, after_hours, in_hour)
    SELECT n.station, n.slot, n.at, quarn_socket_kept_after(n.station, n.slot, n.at),
           quarn_socket_rows_after(n.station, n.slot, n.at)
    FROM (SELECT station, slot, max(serviced_at) AS at FROM quarn_serviced_new GROUP BY 1, 2) n
    ORDER BY n.station, n.slot
    ON CONFLICT (station, slot) DO UPDATE SET
        serviced_at = EXCLUDED.serviced_at, after_hours = EXCLUDED.after_hours,
        in_hour = EXCLUDED.in_hour
    WHERE t.serviced_at IS NULL OR t.serviced_at < EXCLUDED.serviced_at;
    RETURN NULL;
END
$$;
REVOKE ALL ON FUNCTION quarn_socket_serviced() FROM PUBLIC;

CREATE TRIGGER quarn_socket_serviced
    AFTER INSERT ON quarn_socket_service
    REFERENCING NEW TABLE AS quarn_serviced_new
    FOR EACH STATEMENT EXECUTE FUNCTION quarn_socket_serviced();

-- Per socket: station, slot, its latest service (NULL: none) and its
-- sessions since then.
CREATE VIEW quarn_summary_since_service AS
SELECT station, slot, max(serviced_at) AS serviced_at, sum(sessions)::bigint AS sessions
FROM (SELECT k.station, k.slot, k.serviced_at,
             k.after_hours + coalesce(d.later, 0)
             + CASE WHEN d.at_service THEN quarn_socket_rows_after(k.station, k.slot, k.serviced_at)
                    ELSE coalesce(k.in_hour, 0) END AS sessions
      FROM quarn_socket_since k
      LEFT JOIN (SELECT d.station, d.slot,
                        sum(d.sessions) FILTER (WHERE x.serviced_at IS NULL
                                                   OR d.hour > quarn_hour(x.serviced_at)) AS later,
                        bool_or(d.hour = quarn_hour(x.serviced_at)) AS at_service
                 FROM quarn_delta_sockets d
                 JOIN quarn_socket_since x ON x.station = d.station AND x.slot = d.slot
                 GROUP BY 1, 2) d ON d.station = k.station AND d.slot = k.slot
      UNION ALL
      SELECT d.station, d.slot, NULL, d.sessions
      FROM quarn_delta_sockets d
      WHERE NOT EXISTS (SELECT FROM quarn_socket_since k
                        WHERE k.station = d.station AND k.slot = d.slot)) s
GROUP BY station, slot;
