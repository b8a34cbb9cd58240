-- The group roles, made by the server's superuser when missing (NOLOGIN:
-- each station, engineer and viewer logs in with a role of its own that is
-- a member of one), then given their rights (0007_roles.sql says which).
-- Run again, it changes nothing but rights that are missing.
DO $$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_station') THEN
        CREATE ROLE quarn_station NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_engineer') THEN
        CREATE ROLE quarn_engineer NOLOGIN;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'quarn_viewer') THEN
        CREATE ROLE quarn_viewer NOLOGIN;
    END IF;
    -- The schema the records live in, whatever its name.
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO quarn_station, quarn_engineer, quarn_viewer',
                   current_schema());
END
$$;
GRANT quarn_station TO quarn_engineer;
SELECT quarn_grant_roles();
