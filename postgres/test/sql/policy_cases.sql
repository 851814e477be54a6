-- Every case of tests/data/missing_policy_cases.txt through the window
-- functions: an "ok" case gives exactly the values of the listed floats
-- passed as they are, a refused case the listed kind, column and bar.
\getenv data TAMSEL_TEST_DATA
\set cases :data '/policy_cases.csv'
CREATE TABLE policy_case (n int, policy text, highs float8[], lows float8[], outcome text);
COPY policy_case FROM :'cases' CSV;
CREATE FUNCTION policy_values(policy text, highs float8[], lows float8[]) RETURNS text LANGUAGE sql AS $$
  SELECT string_agg(v::text, ' ' ORDER BY i)
    FROM (SELECT i, tamsel_indicators(h, l, missing => policy) OVER (ORDER BY i) AS v
            FROM unnest(highs, lows) WITH ORDINALITY u(h, l, i)) s $$;
CREATE FUNCTION policy_outcome(c policy_case) RETURNS text LANGUAGE plpgsql AS $$
DECLARE
  want text[] := string_to_array(c.outcome, ' ');
  message text;
  kind_text text;
BEGIN
  IF want[1] = 'ok' THEN
    IF policy_values(c.policy, c.highs, c.lows) IS DISTINCT FROM
       policy_values('nan', string_to_array(split_part(substr(c.outcome, 4), ' / ', 1), ' ')::real[]::float8[],
                            string_to_array(split_part(substr(c.outcome, 4), ' / ', 2), ' ')::real[]::float8[]) THEN
      RETURN 'other values';
    END IF;
    RETURN 'ok';
  END IF;
  BEGIN
    PERFORM policy_values(c.policy, c.highs, c.lows);
    RETURN 'accepted';
  EXCEPTION WHEN OTHERS THEN
    GET STACKED DIAGNOSTICS message = MESSAGE_TEXT;
  END;
  kind_text := CASE want[1] WHEN 'missing' THEN 'missing price' WHEN 'infinite' THEN 'infinite price'
                            WHEN 'out-of-range' THEN 'price beyond the range of a 32-bit float%'
                            WHEN 'no-previous' THEN 'missing price on the first bar%' END;
  IF message NOT LIKE format('%%: the %s price of bar %s of the partition is refused: %s', want[2], want[3], kind_text) THEN
    RETURN message;
  END IF;
  RETURN 'ok';
END $$;
SELECT count(*) AS cases, count(*) FILTER (WHERE outcome LIKE 'ok%') AS accepted FROM policy_case;
SELECT n, policy, highs, lows, outcome, policy_outcome(c) AS got FROM policy_case c WHERE policy_outcome(c) <> 'ok';
