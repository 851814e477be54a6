// SPDX-License-Identifier: MIT
// The page: a CSV of bars in, the tool's conversion (WebAssembly, in a
// worker: worker.js) run over it, the bars and the four indicators charted,
// the converted CSV offered for download.  Nothing leaves the page.
import { floatText, textAt, withGaps } from "./bars.js";

/* global uPlot */

// One pane per entry of the library's indicator table (the worker reads it
// from the module): its column, title, start-up bars and value range.  The
// colours are the page's own, in the table's order.
const PANE_COLORS = ["#2563eb", "#7c3aed", "#0f766e", "#c2410c", "#a16207", "#be185d"];
let INDICATOR_PANES = [];

function panesFrom(table) {
  return table.map((info, k) => {
    const margin = (info.highest - info.lowest) * 0.05;
    return {
      column: info.column,
      warmup: info.warmupBars,
      title: info.title,
      color: PANE_COLORS[k % PANE_COLORS.length],
      range: [info.lowest - margin, info.highest + margin],
      zero: info.lowest < 0 && info.highest > 0,
    };
  });
}

// The menu's words for the missing-price policies, which the page says in
// its messages instead of tamsel's --missing option.
function menuTerms(message) {
  return message.replace(/--missing=(\w+)/g, (flag, word) => {
    const option = [...$("missing").options].find((o) => o.value === word);
    return option ? `choosing "${option.textContent}" in the Missing prices menu` : flag;
  });
}

// Five panes in a window 1000 pixels high: the price pane, three indicator
// panes and the last one with the time axis under it.
const AXIS_WIDTH = 64;
const PRICE_HEIGHT = 180;
const PANE_HEIGHT = 88;

const $ = (id) => document.getElementById(id);
const page = { result: null, name: "", charts: [], data: null, bytes: null };
window.tamselPage = page; // for the browser test

function setState(state) {
  document.body.dataset.state = state;
}

function showMessage(text) {
  $("message").textContent = text;
  $("message").hidden = text === "";
}

// ---- the conversion's worker -------------------------------------------------

// Every request gets a number; only the reply to the latest one is shown, so
// a file opened while another converts wins, whichever finishes first.
const conversion = { worker: null, latest: 0, waiting: new Map() };

function startWorker() {
  return new Promise((resolve, reject) => {
    const worker = new Worker("worker.js");
    worker.onmessage = ({ data: reply }) => {
      if ("ready" in reply) {
        if (reply.ready) resolve(reply);
        else reject(new Error(reply.failure));
        return;
      }
      conversion.waiting.get(reply.id)?.(reply);
      conversion.waiting.delete(reply.id);
    };
    // A worker that dies (out of memory, say) answers every open request with
    // a failure and is replaced by a fresh one for the next.
    worker.onerror = (event) => {
      event.preventDefault();
      const failure = event.message || "the conversion stopped unexpectedly";
      for (const [id, answer] of conversion.waiting) answer({ id, failure });
      conversion.waiting.clear();
      worker.terminate();
      if (conversion.worker === worker) conversion.worker = null;
      reject(new Error(failure));
    };
    conversion.worker = worker;
  });
}

function convertInWorker(name, bytes, missing) {
  if (!conversion.worker) startWorker().catch(() => {});
  const id = ++conversion.latest;
  return new Promise((answer) => {
    conversion.waiting.set(id, answer);
    conversion.worker.postMessage({ id, name, bytes, missing, indicatorCount: INDICATOR_PANES.length });
  });
}

// A bar's time as its row has it, or its number in a file without dates.
function labelAt(i) {
  if (!(i >= 0 && i < page.data.count)) return "";
  return page.data.timeName === "" ? String(i + 1) : textAt(page.data.times, i);
}

// ---- charts -----------------------------------------------------------------

// Each bar's range drawn over the price pane, from the prices the indicators
// took: green when its middle is at or above the previous bar's, red below.
function drawBars(u) {
  const d = page.data;
  const { ctx } = u;
  const first = Math.max(0, Math.floor(u.scales.x.min));
  const last = Math.min(d.count - 1, Math.ceil(u.scales.x.max));
  ctx.save();
  ctx.beginPath();
  ctx.rect(u.bbox.left, u.bbox.top, u.bbox.width, u.bbox.height);
  ctx.clip();
  ctx.lineWidth = Math.max(1, Math.round(devicePixelRatio));
  const middle = (i) => (d.high[i] === null || d.low[i] === null ? null : (d.high[i] + d.low[i]) / 2);
  let previous = first > 0 ? middle(first - 1) : null;
  for (let i = first; i <= last; ++i) {
    const now = middle(i);
    if (now === null) continue;
    const x = Math.round(u.valToPos(i, "x", true));
    ctx.strokeStyle = previous === null || now >= previous ? "#15803d" : "#b91c1c";
    ctx.beginPath();
    ctx.moveTo(x, u.valToPos(d.high[i], "y", true));
    ctx.lineTo(x, u.valToPos(d.low[i], "y", true));
    ctx.stroke();
    previous = now;
  }
  ctx.restore();
}

// The start-up bars of an indicator, shaded behind its line.
function shadeWarmup(bars) {
  return (u) => {
    const right = Math.min(bars, page.data.count) - 0.5;
    if (right <= u.scales.x.min) return;
    const { ctx } = u;
    const left = Math.max(u.bbox.left, u.valToPos(-0.5, "x", true));
    const end = Math.min(u.bbox.left + u.bbox.width, u.valToPos(right, "x", true));
    ctx.save();
    ctx.fillStyle = getComputedStyle(document.documentElement).getPropertyValue("--warmup");
    ctx.fillRect(left, u.bbox.top, end - left, u.bbox.height);
    ctx.fillStyle = "#5b6572";
    ctx.font = `${11 * devicePixelRatio}px system-ui, sans-serif`;
    ctx.textAlign = "left";
    ctx.textBaseline = "top";
    if (end - left > 60 * devicePixelRatio) ctx.fillText("warm-up", left + 4 * devicePixelRatio, u.bbox.top + 3 * devicePixelRatio);
    ctx.restore();
  };
}

function xAxis(show) {
  return {
    show,
    size: show ? 40 : 0,
    space: 80,
    incrs: [1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 20000, 50000, 100000, 200000, 500000, 1e6],
    values: (u, splits) => splits.map((v) => labelAt(Math.round(v))),
  };
}

let syncing = false;
function syncScales(u, key) {
  if (key !== "x" || syncing) return;
  syncing = true;
  for (const other of page.charts) if (other !== u) other.setScale("x", { min: u.scales.x.min, max: u.scales.x.max });
  syncing = false;
  $("reset-zoom").disabled = u.scales.x.min <= -0.5 && u.scales.x.max >= page.data.count - 0.5;
}

function paneOptions(title, height, showX, series, extra = {}) {
  return {
    title,
    width: chartWidth(),
    height,
    legend: { show: false },
    // The same padding on every pane keeps their plotting areas, and so the
    // bars, exactly above one another whatever the axis labels need.
    padding: [8, 44, showX ? 0 : 8, 0],
    cursor: { sync: { key: "tamsel" }, drag: { x: true, y: false, setScale: true }, points: { show: false } },
    scales: { x: { time: false }, y: extra.y ?? {} },
    axes: [xAxis(showX), { size: AXIS_WIDTH, space: 30 }],
    series: [{}, ...series],
    hooks: {
      setScale: [syncScales],
      setCursor: [showReadout],
      drawClear: extra.drawClear ?? [],
      draw: extra.draw ?? [],
    },
  };
}

function chartWidth() {
  return Math.max(320, $("charts").clientWidth - 16);
}

function destroyCharts() {
  for (const chart of page.charts) chart.destroy();
  page.charts = [];
  $("charts").replaceChildren();
}

function drawCharts() {
  destroyCharts();
  const d = page.data;
  const invisible = { stroke: "transparent", points: { show: false }, paths: () => null };
  const price = new uPlot(
    paneOptions("Price", PRICE_HEIGHT, false, [
      { label: "high", ...invisible },
      { label: "low", ...invisible },
    ], { draw: [drawBars] }),
    [d.x, d.high, d.low],
    $("charts"),
  );
  page.charts.push(price);
  INDICATOR_PANES.forEach((pane, k) => {
    const last = k === INDICATOR_PANES.length - 1;
    const y = pane.range ? { auto: false, range: pane.range } : {};
    const zeroLine = pane.zero
      ? [
          (u) => {
            const { ctx } = u;
            const y0 = Math.round(u.valToPos(0, "y", true));
            ctx.save();
            ctx.strokeStyle = "#c5ccd4";
            ctx.beginPath();
            ctx.moveTo(u.bbox.left, y0);
            ctx.lineTo(u.bbox.left + u.bbox.width, y0);
            ctx.stroke();
            ctx.restore();
          },
        ]
      : [];
    const chart = new uPlot(
      paneOptions(pane.title, PANE_HEIGHT + (last ? 40 : 0), last, [{ label: pane.column, stroke: pane.color, width: 1.25, points: { show: false } }], {
        y,
        drawClear: [shadeWarmup(pane.warmup), ...zeroLine],
      }),
      [d.x, d.indicators[k]],
      $("charts"),
    );
    page.charts.push(chart);
  });
  showReadout(price);
}

// The crosshair's bar: every value of it, the indicators as the CSV has them.
function showReadout(u) {
  const d = page.data;
  if (!d) return;
  const at = u.cursor.idx ?? d.count - 1;
  if (at === null || at < 0 || at >= d.count) return;
  const timeName = d.timeName === "" ? "bar" : d.timeName;
  const parts = [`<b>${escapeHtml(timeName)}</b> ${escapeHtml(labelAt(at))}  (bar ${at + 1} of ${d.count})`];
  parts.push(`high ${floatText(d.taken.high[at])}  low ${floatText(d.taken.low[at])}`);
  parts.push(
    INDICATOR_PANES.map((p, k) => `<b>${p.column}</b> ${floatText(d.taken.indicators[k][at])}${at < p.warmup ? " (warm-up)" : ""}`).join("  "),
  );
  $("readout").innerHTML = parts.join("\n");
}

function escapeHtml(text) {
  return String(text).replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);
}

// ---- zoom and pan -------------------------------------------------------------

function setRange(min, max) {
  const n = page.data.count;
  const span = Math.min(n, Math.max(5, max - min));
  let lo = Math.max(-0.5, Math.min(min, n - 0.5 - span));
  page.charts[0].setScale("x", { min: lo, max: lo + span });
}

function zoomAround(center, factor) {
  const { min, max } = page.charts[0].scales.x;
  setRange(center - (center - min) * factor, center + (max - center) * factor);
}

function pan(fraction) {
  const { min, max } = page.charts[0].scales.x;
  const shift = (max - min) * fraction;
  setRange(min + shift, max + shift);
}

function attachWheel(chart) {
  chart.over.addEventListener(
    "wheel",
    (event) => {
      event.preventDefault();
      if (event.shiftKey || Math.abs(event.deltaX) > Math.abs(event.deltaY)) {
        pan(Math.sign(event.deltaX || event.deltaY) * 0.1);
      } else {
        zoomAround(chart.posToVal(event.offsetX, "x"), event.deltaY > 0 ? 1.25 : 0.8);
      }
    },
    { passive: false },
  );
}

document.addEventListener("keydown", (event) => {
  if (!page.data || event.target instanceof HTMLInputElement || event.target instanceof HTMLSelectElement) return;
  const { min, max } = page.charts[0].scales.x;
  if (event.key === "ArrowLeft") pan(-0.1);
  else if (event.key === "ArrowRight") pan(0.1);
  else if (event.key === "+" || event.key === "=") zoomAround((min + max) / 2, 0.8);
  else if (event.key === "-") zoomAround((min + max) / 2, 1.25);
  else return;
  event.preventDefault();
});

// ---- loading ---------------------------------------------------------------

async function load(name, bytes) {
  page.name = name;
  page.bytes = bytes;
  await convertLoaded();
}

async function convertLoaded() {
  if (!page.bytes) return;
  setState("busy");
  const reply = await convertInWorker(page.name, page.bytes, $("missing").value);
  if (reply.id !== conversion.latest) return; // a later file or option took over
  if (reply.failure) return showFailure(`tamsel: ${page.name}: ${reply.failure}`);
  if (reply.result.status !== 0) return showFailure(menuTerms(reply.result.message));
  page.result = reply.result;
  $("download").disabled = false;
  showMessage("");
  // The charts draw the worker's numbers (gaps where one is not finite);
  // the readout writes the very floats as tamsel writes them.
  const bars = reply.bars;
  page.data = {
    count: bars.count,
    times: bars.times,
    timeName: bars.timeName,
    taken: bars,
    x: Float64Array.from({ length: bars.count }, (_, i) => i),
    high: withGaps(bars.high),
    low: withGaps(bars.low),
    indicators: bars.indicators.map(withGaps),
  };
  drawCharts();
  page.charts.forEach(attachWheel);
  $("reset-zoom").disabled = true;
  document.title = `${page.name}: TamselCharts`;
  setState("loaded");
}

// No chart and no download, only the message (tamsel's own for a bad file).
function showFailure(message) {
  page.result = null;
  page.data = null;
  $("download").disabled = true;
  destroyCharts();
  $("readout").textContent = "";
  showMessage(message);
  setState("error");
}

function download() {
  if (!page.result || page.result.status !== 0) return;
  const stem = page.name.replace(/\.[^.]*$/, "") || "bars";
  const url = URL.createObjectURL(new Blob([page.result.output], { type: "text/csv" }));
  const link = document.createElement("a");
  link.href = url;
  link.download = `${stem}-tamsel.csv`;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
}

// A file that cannot be read (removed meanwhile, too large for memory) says
// so instead of leaving the page waiting.
async function loadFile(file) {
  if (!file) return;
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (error) {
    ++conversion.latest; // a conversion still running for an earlier file is no longer wanted
    page.bytes = null;
    showFailure(`tamsel: ${file.name}: cannot read the file (${error.message})`);
    return;
  }
  await load(file.name, bytes);
}

async function loadSample() {
  const response = await fetch("sample-daily.csv").catch((error) => ({ ok: false, statusText: error.message }));
  if (!response.ok) return showFailure(`cannot load the sample data: ${response.status ?? ""} ${response.statusText}`);
  await load("sample-daily.csv", new Uint8Array(await response.arrayBuffer()));
}

async function main() {
  const { indicators } = await startWorker();
  INDICATOR_PANES = panesFrom(indicators);
  $("file").addEventListener("change", async (event) => {
    await loadFile(event.target.files[0]);
    event.target.value = "";
  });
  $("sample").addEventListener("click", loadSample);
  $("missing").addEventListener("change", convertLoaded);
  $("download").addEventListener("click", download);
  $("reset-zoom").addEventListener("click", () => page.data && setRange(-0.5, page.data.count - 0.5));

  let dragDepth = 0;
  document.addEventListener("dragenter", (event) => {
    event.preventDefault();
    if (++dragDepth === 1) $("drop-overlay").hidden = false;
  });
  document.addEventListener("dragleave", () => {
    if (--dragDepth === 0) $("drop-overlay").hidden = true;
  });
  document.addEventListener("dragover", (event) => event.preventDefault());
  document.addEventListener("drop", async (event) => {
    event.preventDefault();
    dragDepth = 0;
    $("drop-overlay").hidden = true;
    await loadFile(event.dataTransfer.files[0]);
  });

  let resizeTimer = 0;
  window.addEventListener("resize", () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => page.charts.forEach((c) => c.setSize({ width: chartWidth(), height: c.height })), 100);
  });
  setState("ready");
  // A visitor sees the indicators of the sample before choosing a file of
  // their own (one opened meanwhile wins, being the later request).
  if (!page.bytes) await loadSample();
}

main().catch((error) => {
  showMessage(`The page could not start: ${error.message}`);
  setState("failed");
});
