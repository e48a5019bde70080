# The R peer of bench/run (base R only): reads a workload's .rds and computes
# what the engine prints for it.
# Usage: Rscript --vanilla peer_r.R WORKLOAD DATA.rds RESULT_FILE
# Prints "CHECK key value" lines for bench/run's agreement checks; the full
# results go to RESULT_FILE, as the engine writes its report to a file.
args <- commandArgs(trailingOnly = TRUE)
workload <- args[1]
d <- readRDS(args[2])
out <- file(args[3], "w")

check <- function(key, value) cat(sprintf("CHECK %s %.12g\n", key, value))

# The engine's summary row: moments about the mean, quartiles type 7.
summary_row <- function(x) {
  x <- x[!is.na(x)]
  n <- length(x)
  m <- mean(x)
  dv <- x - m
  d2 <- dv * dv
  m2 <- sum(d2); m3 <- sum(d2 * dv); m4 <- sum(d2 * d2)
  v <- m2 / n
  q <- quantile(x, c(0.5, 0.25, 0.75), type = 7, names = FALSE)
  r <- range(x)
  c(n = n, mean = m, sum = n * m, ss = m2, sd = sqrt(m2 / (n - 1)), median = q[1], q1 = q[2],
    q3 = q[3], min = r[1], max = r[2], range = r[2] - r[1],
    skew = if (v > 0) m3 / (n * v * sqrt(v)) else 0, kurt = if (v > 0) m4 / (n * v * v) - 3 else 0)
}
write_rows <- function(rows) {
  for (name in names(rows))
    writeLines(paste(name, paste(sprintf("%s=%.6f", names(rows[[name]]), rows[[name]]), collapse = " ")), out)
}

if (workload == "W1") {
  rows <- lapply(d, summary_row)
  write_rows(rows)
  check("x1.mean", rows$x1[["mean"]])
  check("x1.median", rows$x1[["median"]])
  check("x2.q3", rows$x2[["q3"]])
  check("x2.kurtosis", rows$x2[["kurt"]])
} else if (workload == "W2") {
  for (name in c("a", "b")) {
    counts <- table(d[[name]])
    cell <- as.vector(counts) * 100 / nrow(d)
    cumulative <- cumsum(cell)
    writeLines(name, out)
    writeLines(sprintf("%s %d %.2f %.2f", names(counts), as.vector(counts), cell, cumulative), out)
    check(paste0(name, ".categories"), length(counts))
    if (name == "b") {
      check("b.count7", counts[["7"]])
      check("b.cumulative7", cumulative[names(counts) == "7"])
    }
  }
} else if (workload == "W3") {
  tab <- table(d$r, d$c)
  test <- suppressWarnings(chisq.test(tab, correct = FALSE))
  e <- test$expected
  o <- tab > 0
  g2 <- 2 * sum(tab[o] * log(tab[o] / e[o]))
  df <- test$parameter
  write.table(tab, out)
  write.table(round(prop.table(tab) * 100, 2), out)
  write.table(round(prop.table(tab, 1) * 100, 2), out)
  write.table(round(prop.table(tab, 2) * 100, 2), out)
  write.table(round(e, 2), out)
  writeLines(sprintf("min expected %.3f\nPearson %.6f %d %.6f\nLikelihood %.6f %d %.6f", min(e),
                     test$statistic, df, test$p.value, g2, df, pchisq(g2, df, lower.tail = FALSE)), out)
  check("pearson", test$statistic)
  check("likelihood", g2)
} else if (workload == "W4") {
  fit <- summary(aov(y ~ factor(g), data = d))[[1]]
  rows <- c(list(all = summary_row(d$y)), lapply(split(d$y, d$g), summary_row))
  write_rows(rows)
  capture.output(print(fit), file = out)
  check("ss_between", fit[1, "Sum Sq"])
  check("f", fit[1, "F value"])
} else if (workload == "W5") {
  a <- d$y[d$g == 1]
  b <- d$y[d$g == 2]
  pooled <- t.test(a, b, var.equal = TRUE)
  welch <- t.test(a, b, var.equal = FALSE)
  write_rows(list(g1 = summary_row(a), g2 = summary_row(b)))
  writeLines(sprintf("pooled t %.6f p %.6f; welch t %.6f df %.3f p %.6f", pooled$statistic,
                     pooled$p.value, welch$statistic, welch$parameter, welch$p.value), out)
  check("t_pooled", pooled$statistic)
  check("t_welch", welch$statistic)
  check("df_welch", welch$parameter)
} else if (workload == "W6L" || workload == "W6P") {
  use <- if (workload == "W6L") "complete.obs" else "pairwise.complete.obs"
  v <- cov(d, use = use)
  write.table(round(v, 6), out)
  if (workload == "W6L") check("cases", sum(complete.cases(d)))
  check("cov_2_1", v[2, 1])
  check("cov_50_49", v[50, 49])
} else {
  stop("unknown workload ", workload)
}
close(out)
