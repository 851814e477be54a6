/* SPDX-License-Identifier: MIT */
/*
 * The window functions: tamsel_cycle_period(high, low) OVER (... ORDER BY ts)
 * and its three siblings, and tamsel_indicators(high, low) with all four.
 *
 * They are real window functions rather than aggregates used as window
 * functions: an aggregate over the default frame is evaluated once per peer
 * group and, over any other frame, restarted from the frame's first row, so
 * a partition of n bars would cost up to n^2 pushes and rows with equal time
 * stamps would silently share a value.  A window function is called once
 * per row in the window's order, keeps one stream in the partition's memory
 * and advances it by one bar per row, and can see whether two neighbouring
 * rows are peers, which it refuses: the value of a bar would otherwise
 * depend on the order PostgreSQL happened to read the peers in.
 */
#include "tamsel_pg.h"

#include "access/genam.h"
#include "access/htup_details.h"
#include "access/stratnum.h"
#include "catalog/pg_index.h"
#include "funcapi.h"
#include "miscadmin.h"
#include "nodes/execnodes.h"
#include "nodes/plannodes.h"
#include "parser/parsetree.h"
#include "utils/lsyscache.h"
#include "utils/rel.h"
#include "windowapi.h"

PG_FUNCTION_INFO_V1(tamsel_window);

enum { kHighArg = 0, kLowArg = 1, kMissingArg = 2, kWarmupArg = 3 };

/* What one call site in a query is: kept across partitions. */
typedef struct WindowCallSite {
  const char* function; /* its SQL name, for messages */
  int indicator;        /* index in the indicator table, or -1 for all four */
  TupleDesc values;     /* the row type of all four, when indicator is -1 */
  bool orderChecked;    /* whether the window's order was found ascending */
} WindowCallSite;

/* One partition's progress, in the partition's memory (zeroed at its start). */
typedef struct WindowPartition {
  bool started;
  TamselChart_Stream* stream;
  TamselCallOptions options;
  int64 nextPosition;
} WindowPartition;

/* The SQL function's name says which indicator it is: "tamsel_" and the
   indicator's column in the library's table, or tamsel_indicators. */
static WindowCallSite* CallSite(FunctionCallInfo fcinfo) {
  if (fcinfo->flinfo->fn_extra != NULL) return fcinfo->flinfo->fn_extra;
  MemoryContext old = MemoryContextSwitchTo(fcinfo->flinfo->fn_mcxt);
  WindowCallSite* site = palloc0(sizeof(WindowCallSite));
  site->function = get_func_name(fcinfo->flinfo->fn_oid);
  site->indicator = -1;
  const char* prefix = "tamsel_";
  if (strncmp(site->function, prefix, strlen(prefix)) == 0) {
    for (int i = 0; i < TamselChart_IndicatorCount(); ++i) {
      if (strcmp(site->function + strlen(prefix), TamselChart_Indicator(i)->column) == 0) site->indicator = i;
    }
  }
  if (site->indicator < 0) {
    TupleDesc values;
    if (get_call_result_type(fcinfo, NULL, &values) != TYPEFUNC_COMPOSITE || values->natts != 4)
      elog(ERROR, "%s is neither an indicator nor returns all four", site->function);
    site->values = BlessTupleDesc(CreateTupleDescCopy(values));
  }
  MemoryContextSwitchTo(old);
  fcinfo->flinfo->fn_extra = site;
  return site;
}

/* The leading fields of the server's window object (nodeWindowAgg.c keeps
   its definition to itself; these two have stood first since window
   functions came, in 8.4): the executor state of the window. */
typedef struct WindowObjectHead {
  NodeTag type;
  WindowAggState* winstate;
} WindowObjectHead;

/* Whether an index scan returns the table column (an index column, for an
   index-only scan) in descending order: the index's own order of that
   column, turned around by a backward scan. */
static bool IndexReturnsDescending(Oid indexId, ScanDirection direction, AttrNumber column, bool isIndexColumn) {
  if (direction == NoMovementScanDirection) return false;
  bool descending = false;
  /* The executor holds the index's lock for the scan. */
  Relation index = index_open(indexId, NoLock);
  for (int position = 0; position < index->rd_index->indnkeyatts; ++position) {
    const bool named = isIndexColumn ? position + 1 == column : index->rd_index->indkey.values[position] == column;
    if (!named) continue;
    descending = ((index->rd_indoption[position] & INDOPTION_DESC) != 0) != (direction == BackwardScanDirection);
    break;
  }
  index_close(index, NoLock);
  return descending;
}

/* Whether the sort keys (a sort's, a merge's) put the column in
   descending order. */
static bool SortsDescending(int keys, const AttrNumber* keyColumns, const Oid* keyOperators, AttrNumber column) {
  for (int key = 0; key < keys; ++key) {
    Oid family, inputType;
    int16 strategy;
    if (keyColumns[key] == column && get_ordering_op_properties(keyOperators[key], &family, &inputType, &strategy) &&
        strategy == BTGreaterStrategyNumber)
      return true;
  }
  return false;
}

/* Whether the node that ordered the rows puts the column (by its number in
   the node's output) in descending order: a sort, a merge of sorted
   streams (a partitioned table, a parallel plan), an index scan, or an
   append of partitions in order, each of which is ordered alike.  Rows
   that come ordered some other way (a sorted subquery) are not looked
   into. */
static bool ColumnDescending(const Plan* node, AttrNumber column) {
  if (node == NULL) return false;
  if (IsA(node, Sort) || IsA(node, IncrementalSort)) {
    const Sort* sort = (const Sort*)node; /* an incremental sort begins with its Sort */
    return SortsDescending(sort->numCols, sort->sortColIdx, sort->sortOperators, column);
  }
  if (IsA(node, MergeAppend)) {
    const MergeAppend* merge = (const MergeAppend*)node;
    return SortsDescending(merge->numCols, merge->sortColIdx, merge->sortOperators, column);
  }
  if (IsA(node, GatherMerge)) {
    const GatherMerge* merge = (const GatherMerge*)node;
    return SortsDescending(merge->numCols, merge->sortColIdx, merge->sortOperators, column);
  }
  if (IsA(node, Append)) {
    const List* parts = ((const Append*)node)->appendplans;
    return parts != NIL && ColumnDescending((const Plan*)linitial(parts), column);
  }
  if (IsA(node, IndexScan) || IsA(node, IndexOnlyScan)) {
    const TargetEntry* entry = get_tle_by_resno(node->targetlist, column);
    if (entry == NULL || !IsA(entry->expr, Var)) return false;
    const AttrNumber read = ((const Var*)entry->expr)->varattno;
    const bool onlyIndex = IsA(node, IndexOnlyScan); /* its columns are the index's own */
    const Oid indexId = onlyIndex ? ((const IndexOnlyScan*)node)->indexid : ((const IndexScan*)node)->indexid;
    const ScanDirection direction =
        onlyIndex ? ((const IndexOnlyScan*)node)->indexorderdir : ((const IndexScan*)node)->indexorderdir;
    return IndexReturnsDescending(indexId, direction, read, onlyIndex);
  }
  return false;
}

/* Whether the rows reach the window with any of its ORDER BY columns in
   descending order.  The window keeps only equality operators (for its
   peer test); the direction is that of the node beneath it that ordered
   the rows, which reads the same columns of the same rows. */
static bool OrderedDescending(const WindowAgg* window) {
  for (int key = 0; key < window->ordNumCols; ++key)
    if (ColumnDescending(outerPlan(window), window->ordColIdx[key])) return true;
  return false;
}

/* Refuses a window ordered descending, as ORDER BY ts DESC: the indicators
   take a partition's bars oldest first, and newest first they would give,
   with no two rows peers, the values of the series played backwards. */
static void RefuseDescendingOrder(FunctionCallInfo fcinfo, const WindowCallSite* site) {
  const WindowObjectHead* head = (const WindowObjectHead*)PG_WINDOW_OBJECT();
  if (head == NULL || head->winstate == NULL || !IsA(head->winstate, WindowAggState)) return;
  const Plan* plan = head->winstate->ss.ps.plan;
  if (plan == NULL || !IsA(plan, WindowAgg) || !OrderedDescending((const WindowAgg*)plan)) return;
  ereport(ERROR, (errcode(ERRCODE_DATA_EXCEPTION), errmsg("%s: the window is ordered descending", site->function),
                  errdetail("The indicators take the bars of a partition oldest first; newest first they would "
                            "give the values of the series played backwards."),
                  errhint("Order the window by the bars' time stamp, ascending, and the query's result as you like: "
                          "%s(high, low) OVER (PARTITION BY symbol ORDER BY ts).",
                          site->function)));
}

static Datum CurrentArgument(FunctionCallInfo fcinfo, int argno, bool* isNull) {
  return WinGetFuncArgCurrent(PG_WINDOW_OBJECT(), argno, isNull);
}

static pg_attribute_noreturn() void RefusePeers(const WindowCallSite* site, int64 position) {
  if (position == 1)
    ereport(ERROR, (errcode(ERRCODE_DATA_EXCEPTION),
                    errmsg("%s: bars 1 and 2 of a partition are peers in the window's order", site->function),
                    errdetail("The window has no ORDER BY, or its first two rows share their time stamp; the "
                              "values would depend on the order the rows happened to be read in."),
                    errhint("Order the window by the bars' time stamp, one row per time stamp in each partition: "
                            "%s(high, low) OVER (PARTITION BY symbol ORDER BY ts).",
                            site->function)));
  ereport(ERROR,
          (errcode(ERRCODE_DATA_EXCEPTION),
           errmsg("%s: bars %lld and %lld of a partition are peers in the window's order", site->function,
                  (long long)position, (long long)position + 1),
           errdetail("Two rows of one partition share their time stamp; the values would depend on the order the "
                     "rows happened to be read in."),
           errhint("Keep one row per time stamp in each partition (drop or merge the duplicate bars), or partition "
                   "by every column that tells the series apart.")));
}

Datum tamsel_window(PG_FUNCTION_ARGS) {
  WindowObject window = PG_WINDOW_OBJECT();
  WindowCallSite* site = CallSite(fcinfo);
  WindowPartition* partition = WinGetPartitionLocalMemory(window, sizeof(WindowPartition));
  int64 position = WinGetCurrentPosition(window);
  /* A long partition is one call per row: cancel and statement_timeout are
     honoured here. */
  CHECK_FOR_INTERRUPTS();

  if (!partition->started) {
    if (!site->orderChecked) {
      RefuseDescendingOrder(fcinfo, site);
      site->orderChecked = true;
    }
    TamselReadOptions(fcinfo, CurrentArgument, kMissingArg, kWarmupArg, &partition->options);
    partition->stream = TamselStreamIn(GetMemoryChunkContext(partition), partition->options.missingPolicy);
    partition->started = true;
  }
  if (position != partition->nextPosition)
    elog(ERROR, "%s: row %lld reached before row %lld", site->function, (long long)position + 1,
         (long long)partition->nextPosition + 1);
  if (position > 0 && WinRowsArePeers(window, position - 1, position)) RefusePeers(site, position);
  /* Only this row is needed for the next row's peer test: earlier rows may
     leave the partition's tuple store. */
  WinSetMarkPosition(window, position);

  bool highIsNull, lowIsNull;
  Datum high = WinGetFuncArgCurrent(window, kHighArg, &highIsNull);
  Datum low = WinGetFuncArgCurrent(window, kLowArg, &lowIsNull);
  TamselChart_Values bar;
  TamselChart_PriceProblem problem;
  int number = TamselChart_StreamPushPrices(partition->stream, TamselPriceAsDouble(fcinfo, kHighArg, high, highIsNull),
                                            TamselPriceAsDouble(fcinfo, kLowArg, low, lowIsNull), &bar, &problem);
  if (number == 0) {
    bool isLow = problem.column == TAMSELCHART_COLUMN_LOW;
    TamselReportPriceProblem(
        site->function, psprintf("bar %lld of the partition", (long long)position + 1), &problem,
        TamselPriceText(fcinfo, isLow ? kLowArg : kHighArg, isLow ? low : high, isLow ? lowIsNull : highIsNull));
  }
  partition->nextPosition = position + 1;

  float values[4] = {bar.CyclePeriod, bar.SignalToNoiseRatio, bar.SwingPosition, bar.TrendVigor};
  TamselBlankWarmup(&partition->options, number, values);
  if (site->indicator >= 0) PG_RETURN_FLOAT4(values[site->indicator]);
  Datum fields[4];
  bool nulls[4] = {false, false, false, false};
  for (int i = 0; i < 4; ++i) fields[i] = Float4GetDatum(values[i]);
  PG_RETURN_DATUM(HeapTupleGetDatum(heap_form_tuple(site->values, fields, nulls)));
}
