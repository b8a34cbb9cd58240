-- The ledger: one row for each numbered file of this folder applied to the
-- database, with the file's sha256 as it was applied. Made before the
-- first migration, by `quarn-records schema` and `quarn-records migrate`;
-- every program reads it once per connection to know what the database has.
--
-- A database made before the ledger (an earlier release of Quarn Download)
-- is brought up to date by `quarn-records migrate`, which keeps its rows;
-- applying the schema to it is refused here, before anything changes.
DO $$
BEGIN
    IF to_regclass('quarn_schema_version') IS NULL AND to_regclass('quarn_sessions') IS NOT NULL THEN
        RAISE EXCEPTION 'this database was made by an earlier version of Quarn Download'
            USING HINT = 'bring it up to date with quarn-records migrate, as its owner',
                  ERRCODE = 'object_not_in_prerequisite_state';
    END IF;
END
$$;

CREATE TABLE IF NOT EXISTS quarn_schema_version (
    version    integer PRIMARY KEY,                   -- the file's number
    name       text NOT NULL,                         -- 0001_sessions.sql
    sha256     text NOT NULL,                         -- of the file as applied
    applied_at timestamptz NOT NULL DEFAULT now(),
    applied_by text NOT NULL DEFAULT session_user
);
GRANT SELECT ON quarn_schema_version TO PUBLIC;

-- Whether a migration is still to be applied: false when the ledger has
-- it; an error naming it when the ledger has it with another sha256 (the
-- file changed since it was applied: the database is not what that file
-- now says).
CREATE OR REPLACE FUNCTION quarn_schema_pending(version integer, name text, sha256 text)
    RETURNS boolean
    LANGUAGE plpgsql
AS $$
DECLARE
    applied quarn_schema_version;
BEGIN
    SELECT * INTO applied FROM quarn_schema_version v
    WHERE v.version = quarn_schema_pending.version;
    IF NOT FOUND THEN
        RETURN true;
    END IF;
    IF applied.sha256 <> quarn_schema_pending.sha256 THEN
        RAISE EXCEPTION 'migration % changed since it was applied on %', applied.name,
                        applied.applied_at
            USING ERRCODE = 'object_not_in_prerequisite_state';
    END IF;
    RETURN false;
END
$$;
