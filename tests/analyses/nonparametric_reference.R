# Writes nonparametric_reference.csv: one row per case, the data and the
# values R gives for them, with the R expression that produced each value.
# Rscript nonparametric_reference.R > nonparametric_reference.csv
num <- function(v) paste(format(v, digits = 17, scientific = FALSE, trim = TRUE), collapse = " ")
row <- function(test, x, y, aux, e, expr) {
  e <- c(e, rep(NA, 3 - length(e)))
  cat(test, num(x), num(y), aux, paste(ifelse(is.na(e), "", format(e, digits = 17, trim = TRUE)), collapse = ","),
      paste0('"', expr, '"'), sep = ",")
  cat("\n")
}
cat("test,x,y,aux,e1,e2,e3,expression\n")
set.seed(19)

# Sign test: counts of nonzero and positive differences y - x, two-sided p.
sign_row <- function(x, y, note) {
  d <- y - x; n <- sum(d != 0); pos <- sum(d > 0); k <- min(pos, n - pos)
  p <- if (n > 100) { if (n - 2 * k - 1 < 1) 1 else pchisq((n - 2 * k - 1)^2 / n, 1, lower.tail = FALSE) } else binom.test(k, n)$p.value
  row("sign", x, y, 0, c(n, pos, p), paste(note, if (n > 100) "pchisq((n-2k-1)^2/n,1,lower=F)" else "binom.test(min(pos,n-pos),n)"))
}
sign_row(rep(0, 12), c(1:9, -1, 0, 0), "worked example 10 nonzero 9 positive;")
x <- round(runif(30) * 4); y <- round(runif(30) * 4); sign_row(x, y, "random ties;")
sign_row(rep(0, 100), c(rep(1, 40), rep(-1, 60)), "n=100 exact;")
sign_row(rep(0, 101), c(rep(1, 40), rep(-1, 61)), "n=101 normal;")
sign_row(rep(0, 101), c(rep(1, 50), rep(-1, 51)), "n=101 c<1;")

# Wilcoxon: nonzero differences, smaller rank sum T, two-sided p.
wil_row <- function(d, p, expr) {
  n <- sum(d != 0); r <- rank(abs(d[d != 0])); tp <- sum(r[d[d != 0] > 0]); tm <- sum(r[d[d != 0] < 0])
  row("wilcoxon", rep(0, length(d)), d, 0, c(n, min(tp, tm), p), expr)
}
wil_row(c(1, 2, 3, 4, 5), wilcox.test(c(1, 2, 3, 4, 5), exact = TRUE)$p.value, "n=5 one sign; wilcox.test(d,exact=TRUE)")
d8 <- c(-1, -2, 3, 4, 5, 6, 7, 8); wil_row(d8, wilcox.test(d8, exact = TRUE)$p.value, "n=8 T=3; wilcox.test(d,exact=TRUE)")
d8b <- c(-2, -3, 1, 4, 5, 6, 7, 8); wil_row(d8b, wilcox.test(d8b, exact = TRUE)$p.value, "n=8 T=5; wilcox.test(d,exact=TRUE)")
d9 <- c(-1, -2, 3:9); wil_row(d9, 2 * pnorm(-abs(9 * 10 / 4 - 3) / sqrt(9 * 10 * 19 / 24)), "n=9 T=3; 2*pnorm(-|n(n+1)/4-T|/sqrt(n(n+1)(2n+1)/24))")
d20 <- c(-2, 1, 3:20); wil_row(d20, 2 * psignrank(2, 20), "n=20 T=2; 2*psignrank(2,20)")
d <- round(rnorm(27) * 3) + 1; n <- sum(d != 0); r <- rank(abs(d[d != 0])); T <- min(sum(r[d[d != 0] > 0]), sum(r[d[d != 0] < 0]))
wil_row(d, 2 * pnorm(-abs(n * (n + 1) / 4 - T) / sqrt(n * (n + 1) * (2 * n + 1) / 24)), "random ties, zeros; 2*pnorm(-|n(n+1)/4-T|/sqrt(n(n+1)(2n+1)/24))")

# Kolmogorov-Smirnov: D and the asymptotic p (1e35 below 20 values a sample).
ks_row <- function(a, b, note) {
  t <- suppressWarnings(ks.test(a, b, exact = FALSE))
  p <- if (min(length(a), length(b)) >= 20 && t$statistic > 0) t$p.value else if (t$statistic > 0) 1e35 else 1
  row("ks", a, b, 0, c(t$statistic, p), paste(note, "ks.test(a,b,exact=FALSE)"))
}
ks_row(round(rnorm(25) * 2), round(rnorm(30) * 2 + 1), "random ties;")
ks_row(round(rnorm(20), 1), round(rnorm(20) + 0.5, 1), "20 and 20;")
ks_row(round(rnorm(19), 1), round(rnorm(25) + 0.5, 1), "19 and 25 (no p);")
# The walk passes equal values one at a time, so the same three values twice
# give D = 1/3, not 0 (hand: the second sample's 1 is passed first).
row("ks", c(1, 2, 3), c(3, 2, 1), 0, c(1 / 3, 1e35), "same values: D 1/3, no p below 20 values (hand)")

# Kruskal-Wallis: H, p, and for two groups W = Mann-Whitney U of the first group.
kw_row <- function(v, g, note) {
  t <- kruskal.test(v, factor(g)); gs <- sort(unique(g))
  u <- if (length(gs) == 2) suppressWarnings(wilcox.test(v[g == gs[1]], v[g == gs[2]], exact = FALSE)$statistic) else NA
  row("kruskal", v, g, max(g) + 1, c(t$statistic, t$p.value, u), paste(note, "kruskal.test(v,g); wilcox.test(v[g==0],v[g==1])$statistic"))
}
kw_row(round(rnorm(24) * 2), rep(0:2, 8), "three groups, ties;")
kw_row(c(1.5, 3, 4, 4, 6, 8, 2, 5, 7, 9, 9, 10, 12), c(rep(0, 6), rep(1, 7)), "groups of 6 and 7;")
row("kruskal", rep(4, 6), c(0, 0, 1, 1, 2, 2), 3, c(0, 1), "all equal: H 0, p 1 (hand)")

# Friedman: rows of k values without ties, chi-square, p, W = chi-square/(n(k-1)).
fr_row <- function(n, k, note) {
  m <- t(replicate(n, sample(1:(k + 3), k)))
  t <- friedman.test(m)
  row("friedman", as.vector(t(m)), 0, k, c(t$statistic, t$p.value, t$statistic / (n * (k - 1))), paste(note, "friedman.test(m)"))
}
fr_row(10, 3, "k=3 n=10;")
fr_row(12, 4, "k=4 n=12;")

# Spearman: coefficient and the t-test p on n - 2 df (1e35 below 10 cases).
sp_row <- function(x, y, note) {
  r <- cor(x, y, method = "spearman"); n <- length(x)
  p <- if (n < 10) 1e35 else if (r^2 >= 1) 0 else 2 * pt(-abs(r) * sqrt((n - 2) / (1 - r^2)), n - 2)
  row("spearman", x, y, 0, c(r, p), paste(note, "cor(x,y,method='spearman'); 2*pt(-|r|sqrt((n-2)/(1-r^2)),n-2)"))
}
row("spearman", 1:10, 10:1, 0, c(-1, 0), "n=10 reversed: r -1 and p 0 since r^2 >= 1 (hand)")
sp_row(round(rnorm(30) * 2), round(rnorm(30) * 2), "random ties;")
sp_row(c(3, 1, 4, 1, 5, 9, 2, 6, 5), c(2, 7, 1, 8, 2, 8, 1, 8, 2), "n=9;")
x <- rnorm(10); sp_row(x, x + rnorm(10), "n=10 no ties;")
x <- round(rnorm(40)); sp_row(x, round(x + rnorm(40)), "n=40 heavy ties;")

# Kendall tau-b and the normal p, variance 2(2n+5)/(9n(n-1)) (1e35 below 11 cases).
kd_row <- function(x, y, note) {
  tau <- cor(x, y, method = "kendall"); n <- length(x)
  p <- if (tau == 0) 1 else if (n < 11) 1e35 else 2 * pnorm(-abs(tau) * 3 * sqrt(n * (n - 1)) / sqrt(2 * (2 * n + 5)))
  row("kendall", x, y, 0, c(tau, p), paste(note, "cor(x,y,method='kendall'); 2*pnorm(-3|tau|sqrt(n(n-1)/(2(2n+5))))"))
}
kd_row(1:11, 1:11, "n=11 concordant;")
x <- round(rnorm(10)); kd_row(x, round(x + rnorm(10)), "n=10 ties;")
x <- round(rnorm(40)); kd_row(x, round(x + rnorm(40)), "n=40 heavy ties;")
kd_row(c(2, 1, 3, 1, 2, 3, 3, 1, 2, 2, 1, 3), c(1, 1, 2, 2, 3, 3, 3, 1, 2, 3, 1, 3), "n=12 three values each;")
row("kendall", rep(5, 12), 1:12, 0, c(0, 1), "x constant: tau 0, p 1 (hand)")
