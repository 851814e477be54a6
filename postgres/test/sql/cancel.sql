-- statement_timeout stops a long partition instead of waiting for its end.
SET statement_timeout = '300ms';
SELECT count(*) FROM (SELECT tamsel_cycle_period(t, t) OVER (ORDER BY t) FROM generate_series(1, 20000000) t) s;
SELECT tamsel_last_indicators(t, t, t ORDER BY t) IS NULL FROM generate_series(1, 20000000) t;
RESET statement_timeout;
-- Hostile prices give values, never a crash: swapped high and low, huge,
-- tiny and non-finite prices under "nan", one bar.
SELECT count(*) AS bars, count(*) FILTER (WHERE v IS NULL) AS null_values
  FROM (SELECT tamsel_indicators(p, q, missing => 'nan') OVER (ORDER BY i) AS v
          FROM unnest(ARRAY[1, 3.4e38, -3.4e38, 1e-45, 1e-300, 'NaN', 'Infinity', '-Infinity', 0, -0, 5]::float8[],
                      ARRAY[2, -3.4e38, 3.4e38, -1e-45, 0, 1, 'NaN', 'Infinity', 0, 0, 6]::float8[])
               WITH ORDINALITY u(p, q, i)) s;
SELECT (tamsel_indicators(99, 101) OVER ()).*;
