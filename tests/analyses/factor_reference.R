# Reference values of factor_test.cpp (run from the repository root: Rscript tests/analyses/factor_reference.R).
x <- read.csv("data/mtcars.csv")[, 2:8]
R <- cor(x); e <- eigen(R, symmetric = TRUE)
A <- e$vectors[, 1:2] %*% diag(sqrt(e$values[1:2]))
A <- A %*% diag(sign(colSums(A)))
options(digits = 15)
cat("PCA\n"); print(A); print(rowSums(A^2))
v <- varimax(A, normalize = TRUE, eps = 1e-15)$loadings[, ]
v <- v %*% diag(sign(colSums(v))); cat("varimax\n"); print(v)
# Gradient projection rotation written out (Jennrich 2001, 2002), Kaiser
# normalisation, SVD retraction for the orthogonal case.
gpa <- function(A, crit, oblique) {
  w <- sqrt(rowSums(A^2)); A <- A / w; k <- ncol(A); Tm <- diag(k)
  L <- if (oblique) A %*% t(solve(Tm)) else A %*% Tm
  q <- crit(L); f <- q$f
  G <- if (oblique) -t(t(L) %*% q$G %*% solve(Tm)) else t(A) %*% q$G
  al <- 1
  for (it in 1:5000) {
    if (oblique) Gp <- G - Tm %*% diag(c(rep(1, nrow(G)) %*% (Tm * G)))
    else { M <- t(Tm) %*% G; S <- (M + t(M)) / 2; Gp <- G - Tm %*% S }
    s <- sqrt(sum(Gp^2)); if (s < 1e-12) break
    al <- 2 * al
    for (i in 0:20) {
      X <- Tm - al * Gp
      if (oblique) Tt <- X %*% diag(1 / sqrt(colSums(X^2))) else { sv <- svd(X); Tt <- sv$u %*% t(sv$v) }
      L <- if (oblique) A %*% t(solve(Tt)) else A %*% Tt
      q <- crit(L); if (q$f < f - 0.5 * s^2 * al) break
      al <- al / 2
    }
    Tm <- Tt; f <- q$f
    G <- if (oblique) -t(t(L) %*% q$G %*% solve(Tm)) else t(A) %*% q$G
  }
  L <- L * w; sg <- sign(colSums(L)); L <- L %*% diag(sg)
  Phi <- diag(sg) %*% t(Tm) %*% Tm %*% diag(sg)
  list(L = L, Phi = Phi, S = L %*% Phi)
}
quartimax <- function(L) list(f = -sum(L^4) / 4, G = -L^3)
oblimin <- function(L) { X <- L^2 %*% (1 - diag(ncol(L))); list(f = sum(L^2 * X) / 4, G = L * X) }
cat("quartimax\n"); print(gpa(A, quartimax, FALSE)$L)
o <- gpa(A, oblimin, TRUE); cat("oblimin\n"); print(o$L); print(o$S); print(o$Phi)
# Principal axes from squared multiple correlations.
h <- 1 - 1 / diag(solve(R))
for (it in 1:25) { Rr <- R; diag(Rr) <- h; ee <- eigen(Rr, symmetric = TRUE)
  P <- ee$vectors[, 1:2] %*% diag(sqrt(pmax(ee$values[1:2], 0))); hn <- rowSums(P^2)
  ch <- max(abs(hn - h)); h <- hn; if (ch < 0.001) break }
P <- P %*% diag(sign(colSums(P))); cat("epic", it, ch, "\n"); print(P); print(h)
# Regression-method scores of the varimax factors, cases 1, 2 and 32.
cat("scores\n"); print((scale(x) %*% solve(R) %*% v)[c(1, 2, 32), ])
