-- Values that would depend on the order rows happen to be read in are refused.
-- No ORDER BY: every row is a peer of every other.
SELECT tamsel_cycle_period(high, low) OVER (PARTITION BY symbol) FROM bars;
-- Ordered by something that does not tell the bars apart.
SELECT tamsel_indicators(high, low) OVER (ORDER BY symbol) FROM bars WHERE symbol = 'AAA';
-- Newest first: no two rows are peers, but the series would run backwards.
SELECT tamsel_swing_position(high, low) OVER (PARTITION BY symbol ORDER BY ts DESC) FROM bars;
SELECT tamsel_indicators(high, low) OVER (ORDER BY symbol, ts DESC) FROM bars WHERE symbol = 'AAA';
-- Newest first from an index read backwards, or from an index kept newest first.
CREATE INDEX bars_by_time ON bars (symbol, ts);
SET enable_seqscan = off;
SET enable_sort = off;
EXPLAIN (COSTS OFF) SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
DROP INDEX bars_by_time;
CREATE INDEX bars_covering ON bars (symbol, ts) INCLUDE (high, low);
EXPLAIN (COSTS OFF) SELECT tamsel_trend_vigor(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
SELECT tamsel_trend_vigor(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
DROP INDEX bars_covering;
CREATE INDEX bars_newest_first ON bars (symbol, ts DESC);
EXPLAIN (COSTS OFF) SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts DESC) FROM bars WHERE symbol = 'AAA';
EXPLAIN (COSTS OFF) SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts) FROM bars WHERE symbol = 'AAA';
SELECT count(*) FROM (SELECT tamsel_cycle_period(high, low) OVER (ORDER BY ts) FROM bars WHERE symbol = 'AAA') b;
DROP INDEX bars_newest_first;
RESET enable_seqscan;
RESET enable_sort;
-- Newest first from a partitioned table, its partitions merged.
CREATE TABLE split_bars (symbol text, ts date, high float8, low float8) PARTITION BY RANGE (ts);
CREATE TABLE split_bars_early PARTITION OF split_bars FOR VALUES FROM ('2024-01-01') TO ('2024-04-01');
CREATE TABLE split_bars_late PARTITION OF split_bars FOR VALUES FROM ('2024-04-01') TO ('2025-01-01');
INSERT INTO split_bars SELECT * FROM bars WHERE symbol = 'AAA';
CREATE INDEX ON split_bars (ts);
SET enable_seqscan = off;
SET enable_sort = off;
EXPLAIN (COSTS OFF) SELECT tamsel_signal_to_noise(high, low) OVER (ORDER BY ts DESC) FROM split_bars;
SELECT tamsel_signal_to_noise(high, low) OVER (ORDER BY ts DESC) FROM split_bars;
SELECT count(*) FROM (SELECT tamsel_signal_to_noise(high, low) OVER (ORDER BY ts) FROM split_bars) b;
-- Partitions that overlap in time are merged.
CREATE TABLE mixed_bars (symbol text, ts date, high float8, low float8) PARTITION BY LIST (symbol);
CREATE TABLE mixed_bars_a PARTITION OF mixed_bars FOR VALUES IN ('AAA');
CREATE TABLE mixed_bars_rest PARTITION OF mixed_bars DEFAULT;
INSERT INTO mixed_bars SELECT 'AAA', ts, high, low FROM bars WHERE symbol = 'AAA' AND ts < date '2024-03-01';
INSERT INTO mixed_bars SELECT 'BBB', ts, high, low FROM bars WHERE symbol = 'AAA' AND ts >= date '2024-03-01';
CREATE INDEX ON mixed_bars (ts);
EXPLAIN (COSTS OFF) SELECT tamsel_indicators(high, low) OVER (ORDER BY ts DESC) FROM mixed_bars;
SELECT tamsel_indicators(high, low) OVER (ORDER BY ts DESC) FROM mixed_bars;
DROP TABLE mixed_bars;
RESET enable_seqscan;
RESET enable_sort;
DROP TABLE split_bars;
-- Ascending, with the query's own result newest first, is the way.
SELECT ts, tamsel_cycle_period(high, low) OVER (ORDER BY ts ASC) > 0 AS measured
  FROM bars WHERE symbol = 'AAA' ORDER BY ts DESC LIMIT 2;
-- Two bars at one time stamp, later in the partition.
INSERT INTO bars VALUES ('AAA', date '2024-01-11', 101, 99);
SELECT tamsel_trend_vigor(high, low) OVER (PARTITION BY symbol ORDER BY ts) FROM bars;
DELETE FROM bars WHERE symbol = 'AAA' AND ts = date '2024-01-11' AND high = 101;
-- The aggregate: without ORDER BY inside the call, or with equal time stamps.
SELECT tamsel_last_indicators(ts, high, low) FROM (SELECT * FROM bars WHERE symbol = 'AAA' ORDER BY ts DESC) b;
SELECT tamsel_last_indicators(ts, high, low ORDER BY ts) FROM bars;
SELECT tamsel_last_indicators(NULL::date, high, low) FROM bars;
