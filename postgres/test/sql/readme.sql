-- The README's examples, verbatim (the test script checks they are).
SELECT ts, tamsel_cycle_period(high, low) OVER (ORDER BY ts) AS cycle_period
  FROM bars WHERE symbol = 'AAA' ORDER BY ts DESC LIMIT 3;
SELECT symbol, ts, (tamsel_indicators(high, low) OVER w).*
  FROM bars WINDOW w AS (PARTITION BY symbol ORDER BY ts)
  ORDER BY symbol, ts DESC LIMIT 4;
SELECT symbol, (tamsel_last_indicators(ts, high, low ORDER BY ts)).*
  FROM bars GROUP BY symbol ORDER BY symbol;
