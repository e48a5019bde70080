# EM of the four measurements of golden/missing/patterns.csv written plainly
# with solve(): start from the available-data means and the covariances over
# the cases where both are present divided by n - 1; E-step with the previous
# iteration's means and covariances; M-step divisor n; stop when every mean
# and covariance changed by at most 0.001 relative to max(|old|, 1), at most
# 30 iterations; all four measurements, then height and age. Rscript tests/analyses/missing_em_reference.R
em <- function(columns) {
x <- as.matrix(read.csv("tests/golden/missing/patterns.csv")[, columns])
x <- x[rowSums(!is.na(x)) > 0, , drop = FALSE]
n <- nrow(x); k <- ncol(x); miss <- is.na(x)
mu <- colMeans(x, na.rm = TRUE)
d <- sweep(x, 2, mu); d[miss] <- 0
S <- crossprod(d) / (n - 1)
for (it in 1:30) {
  T1 <- rep(0, k); T2 <- matrix(0, k, k)
  for (t in 1:n) {
    m <- miss[t, ]; o <- !m; xt <- x[t, ]; C <- matrix(0, k, k)
    if (any(m)) {
      B <- S[m, o, drop = FALSE] %*% solve(S[o, o, drop = FALSE])
      xt[m] <- mu[m] + B %*% (xt[o] - mu[o])
      C[m, m] <- S[m, m, drop = FALSE] - B %*% S[o, m, drop = FALSE]
    }
    T1 <- T1 + xt; T2 <- T2 + xt %o% xt + C
  }
  mu_new <- T1 / n; S_new <- T2 / n - mu_new %o% mu_new
  change <- c(abs(mu_new - mu) / pmax(abs(mu), 1), abs(S_new - S) / pmax(abs(S), 1))
  mu <- mu_new; S <- S_new
  if (all(change <= 0.001)) break
}
cat("columns", columns, "iterations", it, "\n"); print(mu); print(t(S)[upper.tri(S, diag = TRUE)])  # packed by rows
}
options(digits = 17)
em(1:4)
em(c(1, 3))
