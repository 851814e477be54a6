-- NULL (or NaN) prices follow the library's policy: an argument, else the
-- setting tamselcharts.missing, else "error"; the message names the bar.
CREATE TABLE gaps AS SELECT * FROM bars WHERE symbol = 'AAA' AND ts < date '2024-01-31';
UPDATE gaps SET high = NULL WHERE ts = date '2024-01-10';
UPDATE gaps SET low = 'NaN' WHERE ts = date '2024-01-20';
SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts) FROM gaps;
SELECT previous IS NOT DISTINCT FROM filled AS previous_repeats_the_bar_before, count(*)
  FROM (SELECT tamsel_cycle_period(high, low, missing => 'previous') OVER w AS previous,
               tamsel_cycle_period(coalesce(high, high_before), CASE WHEN low = 'NaN' THEN low_before ELSE low END)
                 OVER w AS filled
          FROM (SELECT *, lag(high) OVER (ORDER BY ts) AS high_before, lag(low) OVER (ORDER BY ts) AS low_before
                  FROM gaps) g
        WINDOW w AS (ORDER BY ts)) s
 GROUP BY 1;
SET tamselcharts.missing = 'nan';
SELECT ts, tamsel_cycle_period(high, low) OVER (ORDER BY ts) AS frozen FROM gaps WHERE ts >= date '2024-01-29';
SET tamselcharts.missing = 'previous';
SELECT ts, tamsel_signal_to_noise(high, low) OVER (ORDER BY ts) FROM gaps WHERE ts >= date '2024-01-30';
SELECT tamsel_signal_to_noise(high, low, missing => 'error') OVER (ORDER BY ts) FROM gaps;
RESET tamselcharts.missing;
SET tamselcharts.missing = 'forward';
SELECT tamsel_cycle_period(high, low, missing => 'Previous') OVER (ORDER BY ts) FROM gaps;
-- Infinite and out-of-range prices pass only under "nan".
SELECT tamsel_swing_position('Infinity'::float8, 1) OVER () FROM (VALUES (1)) v;
SELECT tamsel_swing_position('-Infinity'::float8, 1, missing => 'previous') OVER () FROM (VALUES (1)) v;
SELECT tamsel_swing_position(1e39::float8, 1) OVER () FROM (VALUES (1)) v;
SELECT tamsel_swing_position(-1e400::numeric, 1) OVER () FROM (VALUES (1)) v;
SELECT (tamsel_indicators('Infinity'::numeric, 1e400::numeric, missing => 'nan') OVER ()).* FROM (VALUES (1)) v;
