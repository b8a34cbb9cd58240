-- A database made by an earlier release, after earlier_aside.sql and the
-- numbered files: the rows of the tables set aside go into the new ones as
-- they are (ids, first_pass, the server's stamps: no trigger runs on the
-- copy), with the columns the plant added to its quarn_sessions itself;
-- each grant of the old tables and view goes to the new ones (the group
-- roles' rights then as 0007_roles.sql says); the old ones are dropped; the
-- summaries are counted from the rows (what an earlier release kept may
-- have been counted by other rules).
DO $$
DECLARE
    c    record;
    t    text;
    cols text;
BEGIN
    -- The plant's own columns, made as they were (type, default, NOT NULL)
    -- before the months' partitions, so that the copy carries their values.
    FOR c IN SELECT o.attname, format_type(o.atttypid, o.atttypmod) AS type, o.attnotnull,
                    pg_get_expr(d.adbin, d.adrelid) AS def
             FROM pg_attribute o
             LEFT JOIN pg_attrdef d ON d.adrelid = o.attrelid AND d.adnum = o.attnum
             WHERE o.attrelid = 'quarn_sessions_earlier'::regclass AND o.attnum > 0
               AND NOT o.attisdropped
               AND NOT EXISTS (SELECT FROM pg_attribute n
                               WHERE n.attrelid = 'quarn_sessions'::regclass
                                 AND n.attname = o.attname)
             ORDER BY o.attnum LOOP
        EXECUTE format('ALTER TABLE quarn_sessions ADD COLUMN %I %s%s%s', c.attname, c.type,
                       coalesce(' DEFAULT ' || c.def, ''),
                       CASE WHEN c.attnotnull THEN ' NOT NULL' ELSE '' END);
    END LOOP;
    PERFORM quarn_sessions_months(ARRAY(SELECT DISTINCT date_trunc('month', started, 'UTC')
                                        FROM quarn_sessions_earlier WHERE started IS NOT NULL));

    -- Every row, each column the old table has (an old one lacks some:
    -- they stay NULL); then a count of both, which must agree.
    ALTER TABLE quarn_sessions DISABLE TRIGGER USER;
    FOREACH t IN ARRAY ARRAY['quarn_sessions', 'quarn_images', 'quarn_socket_service'] LOOP
        CONTINUE WHEN to_regclass(t || '_earlier') IS NULL;
        SELECT string_agg(quote_ident(n.attname), ', ' ORDER BY n.attnum) INTO cols
        FROM pg_attribute n
        JOIN pg_attribute o ON o.attname = n.attname AND o.attrelid = to_regclass(t || '_earlier')
                           AND NOT o.attisdropped
        WHERE n.attrelid = to_regclass(t) AND n.attnum > 0 AND NOT n.attisdropped;
        EXECUTE format('INSERT INTO %I (%s) SELECT %s FROM %I', t, cols, cols, t || '_earlier');
    END LOOP;
    ALTER TABLE quarn_sessions ENABLE TRIGGER USER;
    IF (SELECT count(*) FROM quarn_sessions) <> (SELECT count(*) FROM quarn_sessions_earlier) THEN
        RAISE EXCEPTION 'the rows copied are not the rows of quarn_sessions_earlier';
    END IF;

    -- Each grant of the old tables and view (the table's, and each
    -- column's that the new one has too), as the owner gives them.
    FOREACH t IN ARRAY ARRAY['quarn_sessions', 'quarn_images', 'quarn_socket_service',
                             'quarn_summary_hours', 'quarn_summary_attempts',
                             'quarn_summary_seconds', 'quarn_summary_causes',
                             'quarn_summary_sockets', 'quarn_yield_daily'] LOOP
        CONTINUE WHEN to_regclass(t || '_earlier') IS NULL;
        FOR c IN SELECT a.privilege_type AS p, NULL::text AS col, a.grantee, a.is_grantable
                 FROM pg_class r, aclexplode(r.relacl) a
                 WHERE r.oid = to_regclass(t || '_earlier') AND a.grantee <> r.relowner
                 UNION ALL
                 SELECT a.privilege_type, quote_ident(x.attname), a.grantee, a.is_grantable
                 FROM pg_attribute x, aclexplode(x.attacl) a
                 WHERE x.attrelid = to_regclass(t || '_earlier') AND NOT x.attisdropped
                   AND EXISTS (SELECT FROM pg_attribute y
                               WHERE y.attrelid = to_regclass(t) AND y.attname = x.attname
                                 AND NOT y.attisdropped) LOOP
            EXECUTE format('GRANT %s%s ON %I TO %s%s', c.p, coalesce(' (' || c.col || ')', ''), t,
                           CASE WHEN c.grantee = 0 THEN 'PUBLIC'
                                ELSE quote_ident(pg_get_userbyid(c.grantee)) END,
                           CASE WHEN c.is_grantable THEN ' WITH GRANT OPTION' ELSE '' END);
        END LOOP;
    END LOOP;
    PERFORM quarn_grant_roles();

    -- The old ones go: a plant's object built on one of them stops the move
    -- here, whole.
    FOREACH t IN ARRAY ARRAY['quarn_yield_daily', 'quarn_summary_hours', 'quarn_summary_attempts',
                             'quarn_summary_seconds', 'quarn_summary_causes',
                             'quarn_summary_sockets', 'quarn_push_lock', 'quarn_socket_service',
                             'quarn_images', 'quarn_sessions'] LOOP
        CONTINUE WHEN to_regclass(t || '_earlier') IS NULL;
        IF (SELECT relkind FROM pg_class WHERE oid = to_regclass(t || '_earlier')) = 'v' THEN
            EXECUTE format('DROP VIEW %I', t || '_earlier');
        ELSE
            EXECUTE format('DROP TABLE %I', t || '_earlier');
        END IF;
    END LOOP;
END
$$;

SELECT quarn_summaries_refill();
