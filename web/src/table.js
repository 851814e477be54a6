// SPDX-License-Identifier: MIT
// The converted table turned into what the charts draw: numbers per column
// and the cells' own text for the crosshair's readout.  Runs in the
// conversion's worker; everything it returns crosses to the page as a few
// large values (typed arrays and one string per text column), which cost
// next to nothing to pass, rather than hundreds of thousands of small ones.

// Column names compare as the tool compares them: without case, surrounding
// blanks or the <HIGH> brackets of some platforms' exports.
function columnKey(name) {
  let key = name.trim();
  if (key.length >= 2 && key.startsWith("<") && key.endsWith(">")) key = key.slice(1, -1).trim();
  return key.toLowerCase();
}

// A cell as a number, NaN where the cell holds none (a gap in the chart).
function parseNumber(text, delimiter) {
  let t = text.trim();
  if (delimiter !== "," && /^[^,.]*,[^,.]*$/.test(t)) t = t.replace(",", ".");
  if (t === "" || /^(nan|null|na|n\/a)$/i.test(t)) return NaN;
  const value = Number(t.startsWith("+") ? t.slice(1) : t);
  return Number.isFinite(value) ? value : NaN;
}

// One column's cells as one string and where each cell ends in it.
function packText(cells) {
  const ends = new Uint32Array(cells.length);
  let length = 0;
  cells.forEach((cell, i) => {
    length += cell.length;
    ends[i] = length;
  });
  return { text: cells.join(""), ends };
}

/** The text of cell i of a packed column. */
export function textAt(column, i) {
  return column.text.slice(i === 0 ? 0 : column.ends[i - 1], column.ends[i]);
}

/** A number column as the charts take it: null where there is no number. */
export function withGaps(values) {
  return values === null ? null : Array.from(values, (v) => (Number.isNaN(v) ? null : v));
}

/**
 * The chart data of a converted table ({ delimiter, rows }, rows[0] the
 * header), whose last indicatorCount columns are the indicators.
 */
export function chartData(table, indicatorCount) {
  const [header, ...rows] = table.rows;
  const keys = header.map(columnKey);
  const find = (...names) => keys.findIndex((k) => names.includes(k));
  const indicatorAt = header.length - indicatorCount;
  const columns = { open: find("open"), high: find("high"), low: find("low"), close: find("close") };
  let dateColumn = find("date", "time", "datetime", "timestamp", "date/time");
  if (dateColumn < 0 && indicatorAt > 0 && !Object.values(columns).includes(0)) dateColumn = 0;
  const count = rows.length;
  const number = (column) =>
    column < 0 ? null : Float64Array.from(rows, (r) => parseNumber(r[column], table.delimiter));
  const indicatorColumns = Array.from({ length: indicatorCount }, (_, k) => indicatorAt + k);
  return {
    count,
    labels: packText(rows.map((r, i) => (dateColumn >= 0 ? r[dateColumn].trim() : String(i + 1)))),
    dateName: dateColumn >= 0 ? header[dateColumn].trim() : "bar",
    open: number(columns.open),
    high: number(columns.high),
    low: number(columns.low),
    close: number(columns.close),
    indicators: indicatorColumns.map(number),
    indicatorText: indicatorColumns.map((c) => packText(rows.map((r) => r[c]))),
    priceText: Object.fromEntries(
      Object.entries(columns).map(([k, c]) => [k, c < 0 ? null : packText(rows.map((r) => r[c].trim()))]),
    ),
  };
}
