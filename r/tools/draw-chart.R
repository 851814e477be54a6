# SPDX-License-Identifier: MIT
# Draws docs/r-chart.png, the picture of the README's R example, from the
# bundled sample data.  Run from the repository with the package installed:
#   Rscript r/tools/draw-chart.R [OUTPUT.png]
library(quantmod)
library(tamselcharts)
options(xts_check_TZ = FALSE)

output <- commandArgs(trailingOnly = TRUE)[1]
if (is.na(output)) output <- "docs/r-chart.png"

bars <- read.csv(system.file("extdata", "sample-daily.csv", package = "tamselcharts"))
prices <- xts(bars[, c("Open", "High", "Low", "Close", "Volume")], as.Date(bars$Date))

png(output, width = 1000, height = 1100, res = 110)
chartSeries(prices, name = "sample-daily.csv", subset = "last 250 days", theme = chartTheme("white"))
addTamsel()
invisible(dev.off())
