# SPDX-License-Identifier: MIT
library(testthat)
library(tamselcharts)

test_check("tamselcharts")
