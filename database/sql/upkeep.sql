-- Run by the owner after the migrations, each time (`quarn-records schema`
-- and `quarn-records migrate`): records of months older than a station may
-- make (last, this and next month) wait in the default partition until
-- then; their months are made now and the rows move into them.
SELECT quarn_sessions_months(ARRAY(
    SELECT DISTINCT date_trunc('month', started, 'UTC')
    FROM quarn_sessions_default
    WHERE started IS NOT NULL));
