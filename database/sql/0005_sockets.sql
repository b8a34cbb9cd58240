-- 0005 The sockets' service log: a row each time a socket (a station's
-- slot, by the records' stable name) was serviced. Rows are only added
-- (quarn-records socket-service); the server stamps when and by whom. A
-- socket's sessions since service count from its latest row.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_socket_service (
    station     text NOT NULL,
    slot        text NOT NULL,  -- the records' slot: the socket's stable name
    serviced_at timestamptz NOT NULL DEFAULT now(),
    serviced_by text NOT NULL DEFAULT current_user,
    note        text
);
CREATE INDEX quarn_socket_service_socket ON quarn_socket_service (station, slot, serviced_at);
