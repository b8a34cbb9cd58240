-- 0009 The units: what each serial number's figures are made of, kept per
-- serial number.
--
-- A unit's figures (0002's rules) need only its first attempt (where and
-- when it counts, and first-pass good), its second (second-pass good), its
-- latest (final good) and how many attempts it had. quarn_units keeps
-- those per serial number, so a push merges its attempts into the units it
-- touches instead of reading every earlier row of their serial numbers, and
-- its row is the lock two pushes of the same serial number take turns on:
-- pushes of different units never wait on each other. A session without a
-- serial number is a unit of its own, of one attempt, and has no row here.
DO $$
BEGIN
    PERFORM pg_catalog.set_config('search_path',
        pg_catalog.quote_ident(pg_catalog.current_schema()) || ', pg_temp', true);
END
$$;

CREATE TABLE quarn_units (
    serial         text PRIMARY KEY,
    attempts       integer NOT NULL CHECK (attempts > 0),
    -- Attempts ordered by started, then id, a session without a start after
    -- every other: the first, the second (none with one attempt) and the
    -- latest (the first or the second when there are no more).
    first_id       uuid NOT NULL,
    first_started  timestamptz,
    first_outcome  text,
    second_id      uuid,
    second_started timestamptz,
    second_outcome text,
    last_id        uuid NOT NULL,
    last_started   timestamptz,
    last_outcome   text
) WITH (fillfactor = 80);
REVOKE ALL ON quarn_units FROM PUBLIC;

-- A unit's figures at its first attempt, as every summary of units counts
-- them: sign (+1 added, -1 taken off, or a count of equal units), the first
-- attempt's keys as the summaries key them ('' for NULL), its attempts, and
-- first-pass, second-pass and final good (0 or 1).
CREATE TYPE quarn_unit_figure AS (
    sign         bigint,
    hour         timestamptz,
    station      text,
    file         text,
    "operator"   text,
    image_sha256 text,
    outcome      text,
    slot         text,
    attempts     bigint,
    first_good   integer,
    second_good  integer,
    final_good   integer
);

-- The outcomes of a unit's first, second and latest attempt, in order, as
-- 0002's rules read them (the first, the first two, the last).
CREATE FUNCTION quarn_unit_outcomes(attempts integer, first text, second text, last text)
    RETURNS text[]
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN CASE attempts WHEN 1 THEN ARRAY[first] WHEN 2 THEN ARRAY[first, second]
                         ELSE ARRAY[first, second, last] END;

-- The figure row of a unit (sign +1 or -1) from its first attempt's row and
-- its outcomes (quarn_unit_outcomes) and attempts.
CREATE FUNCTION quarn_unit_figure(sign bigint, first quarn_counted, outcomes text[],
                                  attempts bigint) RETURNS quarn_unit_figure
    LANGUAGE sql IMMUTABLE PARALLEL SAFE
    RETURN ROW(sign, quarn_hour(first.started), coalesce(first.station, ''),
               coalesce(first.file, ''), coalesce(first."operator", ''),
               coalesce(first.image_sha256, ''), coalesce(first.outcome, ''),
               coalesce(first.slot, ''), attempts, quarn_first_pass_good(outcomes)::int,
               quarn_second_pass_good(outcomes)::int, quarn_final_good(outcomes)::int)::quarn_unit_figure;
