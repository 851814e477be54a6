-- The window functions: one value per bar, in time order per partition.
CREATE TABLE bars (symbol text, ts date, high double precision, low double precision);
INSERT INTO bars
  SELECT symbol, date '2024-01-01' + t, 100 + sin(t / 3.0) * 2 + t / 10.0 + k, 98 + sin(t / 3.0) * 2 + t / 10.0 + k
    FROM generate_series(1, 200) t, (VALUES ('AAA', 0), ('BBB', 50)) s(symbol, k);
-- Rows given in any physical order get the values of their own bar: the
-- single functions agree with the composite, the numeric and real overloads
-- with double precision.
CREATE TABLE shuffled AS SELECT * FROM bars ORDER BY md5(symbol || ts);
WITH w AS (
  SELECT symbol, ts, (tamsel_indicators(high, low) OVER w).*,
         tamsel_cycle_period(high, low) OVER w AS cp, tamsel_signal_to_noise(high, low) OVER w AS snr,
         tamsel_swing_position(high, low) OVER w AS sp, tamsel_trend_vigor(high, low) OVER w AS tv,
         tamsel_indicators(high::numeric, low::numeric) OVER w AS as_numeric,
         tamsel_indicators(high::real, low::real) OVER w AS as_real
    FROM shuffled WINDOW w AS (PARTITION BY symbol ORDER BY ts))
SELECT count(*) AS bars,
       count(*) FILTER (WHERE cp IS DISTINCT FROM cycle_period OR snr IS DISTINCT FROM signal_to_noise
                        OR sp IS DISTINCT FROM swing_position OR tv IS DISTINCT FROM trend_vigor) AS single_differs,
       count(*) FILTER (WHERE as_numeric IS DISTINCT FROM (cycle_period, signal_to_noise, swing_position, trend_vigor)::tamsel_values
                           OR as_real IS DISTINCT FROM as_numeric) AS overloads_differ
  FROM w;
-- A partition's values are those of its series alone.
SELECT count(*) AS differing_bars
  FROM (SELECT symbol, ts, tamsel_indicators(high, low) OVER (PARTITION BY symbol ORDER BY ts) AS v FROM shuffled) p
  JOIN (SELECT symbol, ts, tamsel_indicators(high, low) OVER (ORDER BY ts) AS v FROM bars WHERE symbol = 'AAA'
        UNION ALL
        SELECT symbol, ts, tamsel_indicators(high, low) OVER (ORDER BY ts) AS v FROM bars WHERE symbol = 'BBB') alone
 USING (symbol, ts)
 WHERE p.v::text <> alone.v::text;
-- The last bars of AAA.
SELECT ts, (tamsel_indicators(high, low) OVER (PARTITION BY symbol ORDER BY ts)).*
  FROM bars WHERE symbol = 'AAA' ORDER BY ts DESC LIMIT 3;
-- Warm-up: 'nan' blanks each indicator's own start-up bars, N the first N.
SELECT count(*) FILTER (WHERE cycle_period = 'NaN') AS cp_nan, count(*) FILTER (WHERE signal_to_noise = 'NaN') AS snr_nan,
       count(*) FILTER (WHERE swing_position = 'NaN') AS sp_nan, count(*) FILTER (WHERE trend_vigor = 'NaN') AS tv_nan
  FROM (SELECT (tamsel_indicators(high, low, warmup => 'nan') OVER (ORDER BY ts)).* FROM bars WHERE symbol = 'AAA') v;
SET tamselcharts.warmup = '3';
SELECT ts, (tamsel_indicators(high, low) OVER (ORDER BY ts)).* FROM bars WHERE symbol = 'AAA' ORDER BY ts LIMIT 4;
RESET tamselcharts.warmup;
SET tamselcharts.warmup = 'some';
SELECT tamsel_cycle_period(high, low, warmup => '-1') OVER (ORDER BY ts) FROM bars LIMIT 1;
-- A one-row partition is fine.
SELECT symbol, (tamsel_indicators(high, low) OVER (PARTITION BY symbol ORDER BY ts)).* FROM bars WHERE ts = '2024-01-02';
