-- The last bar's values per group equal the window function's on that bar.
WITH last AS (
  SELECT symbol, (tamsel_last_indicators(ts, high, low ORDER BY ts)).* FROM bars GROUP BY symbol),
windowed AS (
  SELECT DISTINCT ON (symbol) symbol, (tamsel_indicators(high, low) OVER (PARTITION BY symbol ORDER BY ts)).*
    FROM bars ORDER BY symbol, ts DESC)
SELECT l.symbol, l = w AS same FROM last l JOIN windowed w USING (symbol) ORDER BY 1;
-- By hash aggregation too, and an integer bar number as the time stamp.
SET enable_sort = off;
SELECT symbol, (tamsel_last_indicators(ts - date '2024-01-01', high::numeric, low::numeric ORDER BY ts)).cycle_period
  FROM bars GROUP BY symbol ORDER BY symbol;
RESET enable_sort;
-- The policy and warm-up arguments, and no rows at all.
SELECT tamsel_last_indicators(ts, CASE WHEN ts = date '2024-07-01' THEN NULL ELSE high END, low, 'previous' ORDER BY ts)
       = tamsel_last_indicators(ts, CASE WHEN ts = date '2024-07-01' THEN before ELSE high END, low ORDER BY ts)
       AS repeats_the_price_before
  FROM (SELECT *, lag(high) OVER (ORDER BY ts) AS before FROM bars WHERE symbol = 'AAA' AND ts <= date '2024-07-01') b;
SELECT (tamsel_last_indicators(ts, high, low, 'error', 'nan' ORDER BY ts)).* FROM bars WHERE symbol = 'AAA' AND ts < date '2024-01-20';
SELECT tamsel_last_indicators(ts, high, low ORDER BY ts) IS NULL AS no_bars FROM bars WHERE false;
SELECT tamsel_last_indicators(ts, high, low, 'forward' ORDER BY ts) FROM bars;
