-- 0003 The approved list, and the server's word on each session.
--
-- quarn_images is the list of images a production engineer approved. Rows
-- are never deleted: revoking stamps the revoked columns once (a trigger),
-- so the list is its own audit trail, and an image approved again after a
-- revocation is a new row; at most one row per sha256 is in force.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_images (
    sha256      text NOT NULL CHECK (sha256 ~ '^[0-9a-f]{64}$'),  -- of the image as sent
    length      integer,
    file        text,
    title       text,        -- Init.txt's window title
    note        text,
    approved_by text NOT NULL DEFAULT current_user,
    approved_at timestamptz NOT NULL DEFAULT now(),
    revoked_by  text,        -- stamped by quarn_images_revoke
    revoked_at  timestamptz
);
CREATE UNIQUE INDEX quarn_images_in_force ON quarn_images (sha256) WHERE revoked_at IS NULL;
CREATE INDEX quarn_images_sha256 ON quarn_images (sha256);

-- A revocation, once per row, stamped by the server; a note is only added to.
CREATE FUNCTION quarn_images_revoke() RETURNS trigger
    LANGUAGE plpgsql SET search_path FROM CURRENT
AS $$
BEGIN
    IF OLD.revoked_at IS NOT NULL THEN
        RAISE EXCEPTION 'image % was revoked already', OLD.sha256
            USING ERRCODE = 'check_violation';
    END IF;
    IF OLD.note IS NOT NULL AND left(NEW.note, length(OLD.note)) IS DISTINCT FROM OLD.note THEN
        RAISE EXCEPTION 'a note is only added to' USING ERRCODE = 'check_violation';
    END IF;
    NEW.revoked_by := current_user;
    NEW.revoked_at := now();
    RETURN NEW;
END
$$;

CREATE TRIGGER quarn_images_revoke
    BEFORE UPDATE ON quarn_images
    FOR EACH ROW EXECUTE FUNCTION quarn_images_revoke();

-- The server's word on each session, set as the row is inserted, whatever
-- the row says (no station may write these columns: a station adds rows
-- only through quarn_push, 0006, which names the record's columns alone):
-- the login that inserted it, the server's time, and whether its image was
-- on the approved list at its start (approved at or before it, not revoked
-- by then). first_pass gets a guess from the row alone; the statement's
-- trigger (0004), which reads every row of the serial number, writes the
-- guesses that are wrong. Run once per row, so with the inserting role's
-- rights and no path of its own (setting one costs a sizeable part of a
-- push): a station's rows arrive through quarn_push_rows, whose path is
-- this schema's, and the owner's own inserts use the owner's path.
CREATE FUNCTION quarn_sessions_stamp() RETURNS trigger
    LANGUAGE plpgsql
AS $$
BEGIN
    NEW.pushed_by := session_user;
    NEW.received_at := now();
    NEW.server_approved := NEW.started IS NOT NULL AND EXISTS (
        SELECT FROM quarn_images i
        WHERE i.sha256 = NEW.image_sha256
          AND i.approved_at <= NEW.started
          AND (i.revoked_at IS NULL OR i.revoked_at > NEW.started));
    NEW.first_pass := CASE WHEN NEW.serial <> '' THEN quarn_is_attempt(NEW.outcome) END;
    RETURN NEW;
END
$$;
REVOKE ALL ON FUNCTION quarn_sessions_stamp() FROM PUBLIC;

CREATE TRIGGER quarn_sessions_stamp
    BEFORE INSERT ON quarn_sessions
    FOR EACH ROW EXECUTE FUNCTION quarn_sessions_stamp();

-- The recall list: each unit whose latest good session loaded an image
-- given by a prefix of its sha256 (since: from then on; NULL: whenever).
-- A later good session of the same serial number, in the order of
-- attempts, makes a session not its unit's latest; quarn_sessions_serial
-- finds it. The reader's own rights: `units --image` reads it as a viewer.
CREATE FUNCTION quarn_image_unit_rows(prefix text, since timestamptz DEFAULT NULL)
    RETURNS TABLE (serial text, station text, slot text, started timestamptz,
                   image_sha256 text, id text)
    LANGUAGE sql STABLE
BEGIN ATOMIC
    SELECT c.serial, c.station, c.slot, c.started, c.image_sha256, c.id::text
    FROM quarn_sessions c
    WHERE c.outcome = 'good'
      AND c.image_sha256 LIKE prefix || '%'
      AND (since IS NULL OR c.started >= since)
      AND (coalesce(c.serial, '') = '' OR NOT EXISTS (
              SELECT FROM quarn_sessions x
              WHERE x.serial = c.serial AND x.outcome = 'good' AND x.id <> c.id
                AND (x.started > c.started
                     OR (x.started IS NULL AND c.started IS NOT NULL)
                     OR (x.started IS NOT DISTINCT FROM c.started AND x.id > c.id))));
END;

-- How many units the recall list of an image names, for an engineer's
-- revoke, with the owner's rights: the count and nothing else of the
-- table. Only a prefix of 12 to 64 hex digits names an image: an empty
-- one, or one with LIKE's % or _, would count the units of every image.
CREATE FUNCTION quarn_image_units(prefix text) RETURNS bigint
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path FROM CURRENT
BEGIN ATOMIC
    SELECT CASE WHEN prefix ~ '^[0-9a-f]{12,64}$'
                THEN (SELECT count(*) FROM quarn_image_unit_rows(prefix))
                ELSE 0 END;
END;
REVOKE ALL ON FUNCTION quarn_image_units(text) FROM PUBLIC;
