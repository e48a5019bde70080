# bench/run: turns a workload's raw doubles (one variable after another, NaN
# for missing) into a data frame saved with saveRDS, uncompressed so that
# readRDS is as fast as R can load it.
# Usage: Rscript --vanilla workload_rds.R RAW CASES NAMES OUT.rds
args <- commandArgs(trailingOnly = TRUE)
n <- as.integer(args[2])
names <- strsplit(args[3], ",")[[1]]
con <- file(args[1], "rb")
d <- lapply(names, function(v) { x <- readBin(con, "double", n); x[is.nan(x)] <- NA_real_; x })
close(con)
names(d) <- names
class(d) <- "data.frame"
attr(d, "row.names") <- c(NA_integer_, -n)
saveRDS(d, args[4], compress = FALSE)
