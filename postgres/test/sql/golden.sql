-- The golden series through the window functions, bit for bit (as text,
-- which PostgreSQL writes exactly; any NaN equals any NaN).
\getenv data TAMSEL_TEST_DATA
\set golden :data '/golden.csv'
CREATE TABLE golden (series text, bar int, high float8, low float8,
                     cycle_period real, signal_to_noise real, swing_position real, trend_vigor real);
COPY golden FROM :'golden' CSV;
SELECT count(DISTINCT series) > 0 AS has_series,
       count(*) FILTER (WHERE (v).cycle_period::text <> cycle_period::text) AS cycle_period_mismatches,
       count(*) FILTER (WHERE (v).signal_to_noise::text <> signal_to_noise::text) AS signal_to_noise_mismatches,
       count(*) FILTER (WHERE (v).swing_position::text <> swing_position::text) AS swing_position_mismatches,
       count(*) FILTER (WHERE (v).trend_vigor::text <> trend_vigor::text) AS trend_vigor_mismatches
  FROM (SELECT *, tamsel_indicators(high, low, missing => 'nan') OVER (PARTITION BY series ORDER BY bar) AS v
          FROM golden) g;
-- The aggregate's last bars too.
SELECT count(*) FILTER (WHERE l::text <> (g.cycle_period, g.signal_to_noise, g.swing_position, g.trend_vigor)::tamsel_values::text)
       AS last_bar_mismatches
  FROM (SELECT series, tamsel_last_indicators(bar, high, low, 'nan' ORDER BY bar) AS l FROM golden GROUP BY series) a
  JOIN golden g ON g.series = a.series AND g.bar = (SELECT max(bar) FROM golden WHERE series = a.series);
