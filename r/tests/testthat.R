library(testthat)
library(tamselcharts)

test_check("tamselcharts")
