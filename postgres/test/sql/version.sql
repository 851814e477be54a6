-- The extension's version is the version of the library linked into it.
CREATE EXTENSION tamselcharts;
SELECT extversion = tamsel_library_version() AS same_version FROM pg_extension WHERE extname = 'tamselcharts';
-- Nothing is combinable or STRICT: NULL prices reach the policy, and a
-- series' state cannot be split over parallel workers.
SELECT proname, count(*) AS overloads, bool_or(proisstrict) AS any_strict,
       string_agg(DISTINCT proparallel::text, '') AS parallel, string_agg(DISTINCT provolatile::text, '') AS volatility
  FROM pg_proc WHERE proname LIKE 'tamsel%' GROUP BY proname ORDER BY proname;
SELECT aggfnoid::regprocedure, aggcombinefn FROM pg_aggregate WHERE aggfnoid::text LIKE 'tamsel%' ORDER BY 1;
