-- 0002 The rules every figure shares, each written once.
--
-- The stations apply the same rules to their own log (record/first_pass.h,
-- record/attempts.h and record/retest.h in the programs' sources), and a
-- test runs the same cases through both. The triggers (0004), the
-- functions of 0003 and 0006, the view and the reports call these. Each is
-- one SQL expression: the planner puts it in place of the call, so it costs
-- what the expression costs.
--
-- A unit is a serial number, however often and wherever it was loaded; a
-- session without one is a unit of its own. Its attempts are ordered by
-- started, then id, a session without a start after every other.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

-- A session at all: a held record (the retest limit refused the unit,
-- nothing was sent) is none, and counts in no figure but its own.
CREATE FUNCTION quarn_is_session(outcome text) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN outcome IS DISTINCT FROM 'held';

-- An attempt, the pass rule: a session neither interrupted (a person's stop
-- loaded nothing for certain) nor held. A unit's first attempt is its first
-- pass, and decides first-pass yield.
CREATE FUNCTION quarn_is_attempt(outcome text) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN outcome IS DISTINCT FROM 'interrupted' AND outcome IS DISTINCT FROM 'held';

-- A failed attempt, for the retest limit: an attempt that was not good. A
-- row without an outcome is none.
CREATE FUNCTION quarn_is_failed_attempt(outcome text) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce(outcome NOT IN ('good', 'interrupted', 'held', ''), false);

-- Which unit a session is: its serial number, else its own id, the two
-- kinds keyed apart (a serial number that reads like some session's id is
-- still a unit of its own). Compared COLLATE "C" where units are sorted:
-- their order is of no matter, and byte order sorts quickest.
CREATE FUNCTION quarn_unit(serial text, id uuid) RETURNS text
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN CASE WHEN serial <> '' THEN 's' || serial ELSE 'i' || id::text END;

-- Yields by attempt, from a unit's attempts' outcomes in their order:
-- first-pass good (attempt 1 good), second-pass good (a good among attempts
-- 1 and 2) and final good (the latest attempt good, whenever and wherever
-- it was). cardinality() of the same array is the unit's attempts.
CREATE FUNCTION quarn_first_pass_good(outcomes text[]) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce(outcomes[1] = 'good', false);

CREATE FUNCTION quarn_second_pass_good(outcomes text[]) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce('good' = ANY (outcomes[1:2]), false);

CREATE FUNCTION quarn_final_good(outcomes text[]) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce(outcomes[cardinality(outcomes)] = 'good', false);

-- The hour a session counts in, in UTC whatever the reader's TimeZone (a
-- half-hour zone's hours would split the summaries' hours); '-infinity'
-- for a session without a start, which is in no period.
CREATE FUNCTION quarn_hour(started timestamptz) RETURNS timestamptz
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce(date_bin('1 hour', started, timestamptz '2000-01-01 00:00+00'),
                    '-infinity');

-- The stage a failure stopped at, for the plant's Pareto: the block named
-- in its message, else its outcome.
CREATE FUNCTION quarn_stage(message text, outcome text) RETURNS text
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN coalesce(substring(message from 'block [0-9]+ of [0-9]+'), coalesce(outcome, ''));

-- The station's claim (approved) differs from the server's verdict
-- (server_approved). A row lacking either (pushed before the server
-- judged, or from a station that made no check) is no mismatch.
CREATE FUNCTION quarn_approval_mismatch(approved boolean, server_approved boolean) RETURNS boolean
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN (approved <> server_approved) IS TRUE;
