/* SPDX-License-Identifier: MIT */
/*
 * Writes the extension's install script from its template, taking the
 * indicators' names and titles from the library's table so that SQL has no
 * copy of them.  The template's placeholders:
 *   @version@                 the library's version, the extension's too
 *   @fields@                  "cycle_period real, ..." for the row type
 *   @begin indicators@ ...    lines repeated for every indicator and price
 *   @end indicators@          type, with @column@, @title@ and @price@
 *   @begin price types@ ...   lines repeated for each price type, @price@
 *   @end price types@
 * Usage: expand_sql_template TEMPLATE > SCRIPT
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "TamselCharts.h"

static const char* const kPriceTypes[] = {"double precision", "numeric"};
enum { kPriceTypeCount = 2, kMaxLines = 1000, kMaxLine = 1000 };

typedef struct Substitution {
  const char* column;
  const char* title;
  const char* price;
} Substitution;

static void WriteLine(const char* line, const Substitution* with) {
  for (const char* at = line; *at != '\0';) {
    if (strncmp(at, "@version@", 9) == 0) {
      printf("%d.%d.%d", TAMSELCHARTS_VERSION_MAJOR, TAMSELCHARTS_VERSION_MINOR, TAMSELCHARTS_VERSION_PATCH);
      at += 9;
    } else if (strncmp(at, "@fields@", 8) == 0) {
      for (int i = 0; i < TamselChart_IndicatorCount(); ++i)
        printf("%s%s real", i > 0 ? ", " : "", TamselChart_Indicator(i)->column);
      at += 8;
    } else if (with != NULL && with->column != NULL && strncmp(at, "@column@", 8) == 0) {
      fputs(with->column, stdout);
      at += 8;
    } else if (with != NULL && with->title != NULL && strncmp(at, "@title@", 7) == 0) {
      fputs(with->title, stdout);
      at += 7;
    } else if (with != NULL && strncmp(at, "@price@", 7) == 0) {
      fputs(with->price, stdout);
      at += 7;
    } else {
      putchar(*at++);
    }
  }
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s TEMPLATE > SCRIPT\n", argv[0]);
    return 2;
  }
  FILE* template = fopen(argv[1], "r");
  if (template == NULL) {
    perror(argv[1]);
    return 1;
  }
  static char block[kMaxLines][kMaxLine];
  int blockLines = -1; /* -1: outside a block */
  int perIndicator = 0;
  char line[kMaxLine];
  while (fgets(line, sizeof line, template) != NULL) {
    if (strncmp(line, "@begin ", 7) == 0) {
      perIndicator = strncmp(line, "@begin indicators@", 18) == 0;
      blockLines = 0;
    } else if (strncmp(line, "@end ", 5) == 0) {
      for (int i = 0; i < (perIndicator ? TamselChart_IndicatorCount() : 1); ++i) {
        for (int p = 0; p < kPriceTypeCount; ++p) {
          Substitution with = {perIndicator ? TamselChart_Indicator(i)->column : NULL,
                               perIndicator ? TamselChart_Indicator(i)->title : NULL, kPriceTypes[p]};
          for (int l = 0; l < blockLines; ++l) WriteLine(block[l], &with);
        }
      }
      blockLines = -1;
    } else if (blockLines >= 0) {
      if (blockLines == kMaxLines) {
        fprintf(stderr, "%s: a block of more than %d lines\n", argv[1], kMaxLines);
        return 1;
      }
      memcpy(block[blockLines++], line, sizeof line);
    } else {
      WriteLine(line, NULL);
    }
  }
  fclose(template);
  if (blockLines >= 0) {
    fprintf(stderr, "%s: a block without its @end@ line\n", argv[1]);
    return 1;
  }
  return fflush(stdout) == 0 && !ferror(stdout) ? 0 : 1;
}
