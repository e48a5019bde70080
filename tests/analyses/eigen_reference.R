# Data of each set: an LCG s <- (69069 s + 1) mod 2^32 from the seed gives
# u[t, v] = s / 2^32 case by case, variable by variable within a case;
# x[, v] = u[, v] + (v mod 4) / 4 * u[, 1], so that the variables correlate.
lcg_data <- function(p, n, seed) {
  s <- seed; u <- matrix(0, n, p)
  for (t in 1:n) for (v in 1:p) { s <- (69069 * s + 1) %% 4294967296; u[t, v] <- s / 4294967296 }
  x <- u
  for (v in 1:p) x[, v] <- u[, v] + ((v - 1) %% 4) / 4 * u[, 1]
  x
}
sets <- list(c(2, 10, 1), c(3, 12, 2), c(5, 30, 3), c(10, 40, 4), c(20, 60, 5), c(50, 80, 6),
             c(100, 50, 7), c(150, 400, 8), c(200, 260, 9))
cat("# Eigenvalues of random correlation matrices: variables, cases, seed, rank, eigenvalue.\n")
cat("# R 4.2.2: eigen(cor(x), symmetric = TRUE, only.values = TRUE)$values, 17 significant digits,\n")
cat("# x from the generator in eigen_reference.R beside this file.\n")
for (set in sets) {
  x <- lcg_data(set[1], set[2], set[3])
  ev <- eigen(cor(x), symmetric = TRUE, only.values = TRUE)$values
  for (i in seq_along(ev)) cat(sprintf("%d,%d,%d,%d,%.17g\n", set[1], set[2], set[3], i, ev[i]))
}
