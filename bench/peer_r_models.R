# The R peer of bench/run's model-fitting workloads (W7 regression, W7S forward
# stepwise, W9 correlations and eigenvalues, W10 general linear model): reads a
# workload's .rds and computes what the engine prints for it, with lm, step,
# sandwich::vcovHC, cor, eigen and car::Anova.
# Usage: Rscript --vanilla peer_r_models.R WORKLOAD DATA.rds RESULT_FILE
# Prints "CHECK key value" lines for bench/run's agreement checks; the full
# results go to RESULT_FILE, as the engine writes its report to a file.
args <- commandArgs(trailingOnly = TRUE)
workload <- args[1]
d <- readRDS(args[2])
out <- file(args[3], "w")

check <- function(key, value) cat(sprintf("CHECK %s %.12g\n", key, value))

# One fit as the engine reports a regression step: the analysis of variance,
# R-square, F, the error of estimate, Durbin-Watson, and per coefficient b, its
# ordinary and HC3 errors, beta, t = b / HC3 error and its p.
fit_summary <- function(fit, sd_all) {
  s <- summary(fit)
  co <- s$coefficients
  hc3 <- sqrt(diag(sandwich::vcovHC(fit, type = "HC3")))
  e <- residuals(fit)
  rss <- sum(e^2)
  dw <- sum(diff(e)^2) / rss
  df <- fit$df.residual
  n <- length(e)
  sst <- (n - 1) * sd_all[["y"]]^2
  pe <- nrow(co) - 1
  f <- if (pe > 0) s$fstatistic[["value"]] else 0
  t <- co[, 1] / hc3
  names_x <- rownames(co)[-1]
  beta <- c(NA, co[-1, 1] * sd_all[names_x] / sd_all[["y"]])
  list(pe = pe, df = df, ssr = sst - rss, rss = rss, f = f,
       p = if (pe > 0) pf(f, pe, df, lower.tail = FALSE) else 0,
       r2 = s$r.squared, adj = s$adj.r.squared, se = s$sigma, dw = dw,
       table = data.frame(b = co[, 1], se = co[, 2], hc3 = hc3, beta = beta, t = t,
                          p = 2 * pt(-abs(t), df), row.names = rownames(co)))
}
summary_text <- function(r) {
  c(sprintf("REGRESSION %.6f %d %.6f F %.6f p %.6f", r$ssr, r$pe, r$ssr / max(r$pe, 1), r$f, r$p),
    sprintf("RESIDUAL %.6f %d %.6f", r$rss, r$df, r$rss / r$df),
    sprintf("R %.6f R2 %.6f adjusted %.6f F %.6f p %.6f SE %.6f DW %.6f", sqrt(r$r2), r$r2, r$adj, r$f,
            r$p, r$se, r$dw),
    capture.output(print(r$table, digits = 7)))
}

if (workload == "W7") {
  fit <- lm(y ~ ., data = d)
  r <- fit_summary(fit, sapply(d, sd))
  writeLines(summary_text(r), out)
  check("r2", r$r2)
  check("f", r$f)
  check("dw", r$dw)
  check("b.intercept", r$table["(Intercept)", "b"])
  check("se.intercept", r$table["(Intercept)", "se"])
  check("hc3.intercept", r$table["(Intercept)", "hc3"])
  check("t.x1", r$table["x1", "t"])
} else if (workload == "W7S") {
  sd_all <- sapply(d, sd)
  upper <- reformulate(setdiff(names(d), "y"))
  # Every model on the path reported as the engine reports each step; the
  # trace lists each candidate's RSS at every step.
  keeper <- function(fit, aic) paste(summary_text(fit_summary(fit, sd_all)), collapse = "\n")
  sink(out)
  fit <- step(lm(y ~ 1, data = d), scope = list(lower = ~1, upper = upper), direction = "forward",
              k = 3.84, keep = keeper)
  sink()
  writeLines(unlist(fit$keep), out)
  last <- add1(fit, scope = upper, test = "F")
  capture.output(print(last), file = out)
  r <- fit_summary(fit, sd_all)
  check("entered", r$pe)
  check("r2", r$r2)
  check("f", r$f)
  check("dw", r$dw)
  if (any(!is.na(last[["F value"]]))) check("max_f_to_enter", max(last[["F value"]], na.rm = TRUE))
} else if (workload == "W9") {
  r <- cor(d)
  ev <- eigen(r, symmetric = TRUE, only.values = TRUE)$values
  write.table(round(r, 6), out)
  writeLines(sprintf("%d %.6f", seq_along(ev), ev), out)
  for (k in c(1, 2, 10, 100)) check(paste0("eig", k), ev[k])
  check("r_2_1", r[2, 1])
  check("r_100_99", r[100, 99])
} else if (workload == "W10") {
  for (f in c("a", "b", "c")) d[[f]] <- factor(d[[f]])
  fit <- lm(y ~ a * b * c + x1 + x2, data = d,
            contrasts = list(a = "contr.sum", b = "contr.sum", c = "contr.sum"))
  table <- car::Anova(fit, type = 3)
  n <- nrow(d)
  rss <- sum(residuals(fit)^2)
  sigma2 <- rss / n  # the maximum-likelihood residual variance
  wald <- table[["Sum Sq"]] / sigma2
  table$Wald <- wald
  table$Wald.p <- pchisq(wald, table$Df, lower.tail = FALSE)
  capture.output(print(table, digits = 9), file = out)
  co <- summary(fit)$coefficients
  se <- co[, 2] * sqrt(sigma2 / (rss / fit$df.residual))  # maximum-likelihood errors
  z <- co[, 1] / se
  q <- qnorm(0.975)
  write.table(data.frame(b = co[, 1], se = se, low = co[, 1] - q * se, high = co[, 1] + q * se, z = z,
                         p = pchisq(z * z, 1, lower.tail = FALSE)), out)
  writeLines(sprintf("log likelihood %.6f sigma2 %.6f SE %.6f", logLik(fit), sigma2, sigma2 * sqrt(2 / n)), out)
  check("f.a", table["a", "F value"])
  check("f.ab", table["a:b", "F value"])
  check("f.abc", table["a:b:c", "F value"])
  check("f.x1", table["x1", "F value"])
  check("wald.abc", table["a:b:c", "Wald"])
  check("b.x1", co["x1", 1])
  check("sigma2", sigma2)
} else {
  stop("unknown workload ", workload)
}
close(out)
