-- Values that would depend on the order rows happen to be read in are refused.
-- No ORDER BY: every row is a peer of every other.
SELECT tamsel_cycle_period(high, low) OVER (PARTITION BY symbol) FROM bars;
-- Ordered by something that does not tell the bars apart.
SELECT tamsel_indicators(high, low) OVER (ORDER BY symbol) FROM bars WHERE symbol = 'AAA';
-- Two bars at one time stamp, later in the partition.
INSERT INTO bars VALUES ('AAA', date '2024-01-11', 101, 99);
SELECT tamsel_trend_vigor(high, low) OVER (PARTITION BY symbol ORDER BY ts) FROM bars;
DELETE FROM bars WHERE symbol = 'AAA' AND ts = date '2024-01-11' AND high = 101;
-- The aggregate: without ORDER BY inside the call, or with equal time stamps.
SELECT tamsel_last_indicators(ts, high, low) FROM (SELECT * FROM bars WHERE symbol = 'AAA' ORDER BY ts DESC) b;
SELECT tamsel_last_indicators(ts, high, low ORDER BY ts) FROM bars;
SELECT tamsel_last_indicators(NULL::date, high, low) FROM bars;
