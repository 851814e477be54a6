// SPDX-License-Identifier: MIT
// The page's conversion, off the page's own thread: the tool's reader and
// conversion (WebAssembly) run here, so that a large file never freezes the
// page.  The page gets the converted text for the download and the bars the
// conversion computed, as typed arrays whose buffers are handed over, not
// copied.  A classic worker, because the conversion's
// module is a classic script; the page's own modules come in by import().
/* global createTamselWeb */
importScripts("tamsel-web.js");

const ready = Promise.all([createTamselWeb(), import("./convert.js")]);
// The page names its panes from the library's own indicator table.
ready.then(
  ([module, { indicatorTable, policyWords }]) =>
    postMessage({ ready: true, indicators: indicatorTable(module), policies: policyWords(module) }),
  (error) => postMessage({ ready: false, failure: String(error?.message ?? error) }),
);

// { id, name, bytes, missing, indicatorCount } in; { id, result, bars } or
// { id, failure } out (bars: see convertedBars).
onmessage = async ({ data: request }) => {
  let reply;
  try {
    const [module, { convertCsv, convertedBars }] = await ready;
    const result = convertCsv(module, request.name, request.bytes, request.missing);
    const bars = result.status === 0 ? convertedBars(module, request.indicatorCount) : null;
    reply = { id: request.id, result, bars };
  } catch (error) {
    reply = { id: request.id, failure: String(error?.message ?? error) };
  }
  const transfer = [];
  if (reply.result) transfer.push(reply.result.output.buffer);
  if (reply.bars) {
    const { high, low, indicators, times } = reply.bars;
    for (const values of [high, low, ...indicators, times.ends]) transfer.push(values.buffer);
  }
  postMessage(reply, transfer);
};
