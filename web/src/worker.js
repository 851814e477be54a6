// SPDX-License-Identifier: MIT
// The page's conversion, off the page's own thread: the tool's reader and
// conversion (WebAssembly) and the chart data are made here, so that a large
// file never freezes the page.  A classic worker, because the conversion's
// module is a classic script; the page's own modules come in by import().
/* global createTamselWeb */
importScripts("tamsel-web.js");

const ready = Promise.all([createTamselWeb(), import("./convert.js"), import("./table.js")]);
// The page names its panes from the library's own indicator table.
ready.then(
  ([module, { indicatorTable, policyWords }]) =>
    postMessage({ ready: true, indicators: indicatorTable(module), policies: policyWords(module) }),
  (error) => postMessage({ ready: false, failure: String(error?.message ?? error) }),
);

// { id, name, bytes, missing, indicatorCount } in; { id, result, data } or
// { id, failure } out.
onmessage = async ({ data: request }) => {
  let reply;
  try {
    const [module, { convertCsv, convertedTable }, { chartData }] = await ready;
    const result = convertCsv(module, request.name, request.bytes, request.missing);
    const data = result.status === 0 ? chartData(convertedTable(module), request.indicatorCount) : null;
    reply = { id: request.id, result, data };
  } catch (error) {
    reply = { id: request.id, failure: String(error?.message ?? error) };
  }
  const transfer = [];
  if (reply.result) transfer.push(reply.result.output.buffer);
  if (reply.data) {
    for (const values of [reply.data.open, reply.data.high, reply.data.low, reply.data.close, ...reply.data.indicators])
      if (values) transfer.push(values.buffer);
  }
  postMessage(reply, transfer);
};
