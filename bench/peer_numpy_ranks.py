#!/usr/bin/python3
"""The SciPy/NumPy peer of bench/run for the rank tests and missing-data
workloads (W8K ... W12): loads a workload's .npy (one row per variable, NaN for
missing) and computes what the engine prints for it.

Usage: peer_numpy_ranks.py WORKLOAD DATA.npy RESULT_FILE
Prints "CHECK key value" lines for bench/run's agreement checks; the full
results go to RESULT_FILE, as the engine writes its report to a file.
"""
import itertools
import sys

import numpy as np
import scipy.stats as stats
import threadpoolctl


def check(key, value):
    print("CHECK %s %.12g" % (key, value))


def pairs(k):
    """The engine's order: row i, column j < i (1-based in the keys)."""
    return [(i, j) for i in range(k) for j in range(i)]


def kendall(data, out):
    for i, j in pairs(len(data)):
        tau, p = stats.kendalltau(data[i], data[j])
        out.write("v%d v%d tau %.6f p %.6f\n" % (i + 1, j + 1, tau, p))
        check("tau_%d_%d" % (i + 1, j + 1), tau)
        check("p_%d_%d" % (i + 1, j + 1), p)


def spearman(data, out):
    rho, p = stats.spearmanr(data, axis=1)  # t approximation on n - 2 df
    for i, j in pairs(len(data)):
        out.write("v%d v%d rho %.6f p %.6f\n" % (i + 1, j + 1, rho[i, j], p[i, j]))
        check("rho_%d_%d" % (i + 1, j + 1), rho[i, j])
        check("p_%d_%d" % (i + 1, j + 1), p[i, j])


def paired(data, out):
    x, y = data
    d = x - y  # the engine's pair (row y, column x): column minus row
    n = int(np.count_nonzero(d))
    pos = int(np.count_nonzero(d > 0))
    # Sign test: the normal approximation with continuity correction (n > 100).
    c = max(n - 2 * min(pos, n - pos) - 1, 0)
    sign_p = stats.chi2.sf(c * c / n, 1) if c >= 1 else 1.0
    w = stats.wilcoxon(x, y, zero_method="wilcox", correction=False, method="approx")
    ks = stats.ks_2samp(y, x, method="asymp")
    # The p-value of the limiting (Kolmogorov) distribution, as the engine and
    # R's ks.test(exact = FALSE) give it; ks_2samp's own asymptotic p-value
    # comes from the finite-n distribution at n = nx ny / (nx + ny).
    ks_p = stats.kstwobign.sf(ks.statistic * np.sqrt(x.size * y.size / (x.size + y.size)))
    out.write("sign n %d positive %d p %.6f\nwilcoxon n %d T %.1f p %.6f\nks D %.6f p %.6f (finite-n %.6f)\n"
              % (n, pos, sign_p, n, w.statistic, w.pvalue, ks.statistic, ks_p, ks.pvalue))
    check("sign_n", n)
    check("sign_positive", pos)
    check("sign_p", sign_p)
    check("wilcoxon_t", w.statistic)
    check("wilcoxon_p", w.pvalue)
    check("ks_d", ks.statistic)
    check("ks_p", ks_p)


def comparisons(out, labels, mean_ranks, errors):
    for a, b in itertools.combinations(range(len(labels)), 2):
        diff = mean_ranks[a] - mean_ranks[b]
        se = errors(a, b)
        out.write("%s %s %.3f %.3f %.3f\n" % (labels[a], labels[b], diff, se, diff / se if se > 0 else 0.0))


def groups(data, out):
    g, values = data[0], data[1:]
    levels, codes = np.unique(g, return_inverse=True)
    counts = np.bincount(codes)
    big_n = g.size
    for v, x in enumerate(values):
        ranks = stats.rankdata(x)
        sums = np.bincount(codes, weights=ranks)
        h = 12.0 / (big_n * (big_n + 1)) * np.sum(counts * (sums / counts - (big_n + 1) / 2) ** 2)
        _, ties = np.unique(x, return_counts=True)
        t = float(np.sum(ties.astype(np.float64) ** 3 - ties))
        h /= 1 - t / (big_n ** 3 - big_n)
        p = stats.chi2.sf(h, levels.size - 1)
        out.write("Kruskal-Wallis v%d H %.4f p %.4f\n" % (v + 1, h, p))
        for level, n, s in zip(levels, counts, sums):
            out.write("%g %d %.1f %.3f\n" % (level, n, s, s / n))
        spread = (big_n * (big_n + 1) - t / (big_n - 1)) / 12
        comparisons(out, ["%g" % level for level in levels], sums / counts,
                    lambda a, b: np.sqrt(max(spread, 0) * (1 / counts[a] + 1 / counts[b])))
        check("kw%d_h" % (v + 1), h)
        check("kw%d_p" % (v + 1), p)
        check("kw%d_ranksum1" % (v + 1), sums[0])
    # Friedman: ranks within each case; the tie correction only where a case
    # holds equal values.
    # (rankdata(axis=1) ranks each case through a Python-level loop; one
    # argsort of all cases does the same.)
    block = values.T
    n, k = block.shape
    order = np.argsort(block, axis=1)
    ranks = np.empty(block.shape)
    np.put_along_axis(ranks, order, np.arange(1.0, k + 1)[None, :].repeat(n, axis=0), axis=1)
    ordered = np.take_along_axis(block, order, axis=1)
    tied = np.flatnonzero((ordered[:, 1:] == ordered[:, :-1]).any(axis=1))
    ties = 0.0
    for row in tied:
        ranks[row] = stats.rankdata(block[row])
        _, t = np.unique(block[row], return_counts=True)
        ties += float(np.sum(t ** 3 - t))
    sums = ranks.sum(axis=0)
    chi2 = 12.0 / (k * n * (k + 1)) * np.sum(sums ** 2) - 3 * n * (k + 1)
    corrected = chi2 / (1 - ties / (n * k * (k * k - 1)))
    w = chi2 / ((k - 1) * n)
    p = stats.chi2.sf(chi2, k - 1)
    p_corrected = stats.chi2.sf(corrected, k - 1)
    out.write("Friedman k %d n %d cases with ties %d chi2 %.4f W %.6f p %.4f; tie-corrected chi2 %.4f p %.4f\n"
              % (k, n, tied.size, chi2, w, p, corrected, p_corrected))
    for j in range(k):
        out.write("v%d %.1f %.3f\n" % (j + 1, sums[j], sums[j] / n))
    comparisons(out, ["v%d" % (j + 1) for j in range(k)], sums / n, lambda a, b: np.sqrt(k * (k + 1) / (6 * n)))
    check("friedman_chi2", chi2)
    check("friedman_w", w)
    check("friedman_p", p)
    check("friedman_ranksum1", sums[0])


def em(data, out):
    """EM for the means and covariances of a multivariate normal with values
    missing at random, as the engine runs it: start from the available-data
    means and the covariances of the mean-filled data (divisor n - 1); each
    iteration fills every missing cell with its conditional expectation given
    the case's present values, adds the conditional covariances of the missing
    cells, and takes the maximum-likelihood means and covariances (divisor n);
    stop when no mean or covariance changes by more than 0.001 relative to
    max(|old|, 1), after at most 30 iterations. The conditional regressions
    are solved once per missingness pattern, all patterns at once."""
    x = data.T.copy()
    present = ~np.isnan(x)
    keep = present.any(axis=1)
    x, present = x[keep], present[keep]
    n, k = x.shape
    mean = np.nanmean(x, axis=0)
    centred = np.where(present, x - mean, 0.0)
    cov = centred.T @ centred / (n - 1)
    patterns, which, sizes = np.unique(present, axis=0, return_inverse=True, return_counts=True)
    order = np.argsort(which.ravel(), kind="stable")  # the cases pattern by pattern
    x, present, which = x[order], present[order], which.ravel()[order]
    starts = np.concatenate([[0], np.cumsum(sizes)])
    observed = patterns.astype(np.float64)  # P x k
    missing = 1.0 - observed
    filled = np.where(present, x, 0.0)
    lower = np.tril_indices(k)
    converged, iterations = False, 0
    # The per-pattern matrices are 20 x 20: OpenBLAS's threads only spin on them
    # (five times the CPU time on a busy machine), so the iterations run on one.
    limit = threadpoolctl.threadpool_limits(limits=1, user_api="blas")
    while iterations < 30 and not converged:
        iterations += 1
        centred = np.where(present, x - mean, 0.0)
        estimate = np.empty_like(x)
        conditional = np.zeros((k, k))
        for first in range(0, len(sizes), 2048):  # a block of patterns at a time
            last = min(first + 2048, len(sizes))
            o, m = observed[first:last], missing[first:last]
            # Per pattern: A = the covariances of the present variables, the
            # identity where a variable is missing; A^-1 (O cov) holds the
            # regressions on the present variables (rows of missing ones 0).
            a = cov[None, :, :] * o[:, :, None] * o[:, None, :] + m[:, :, None] * np.eye(k)[None, :, :]
            inverse = np.linalg.inv(a)
            effect = inverse @ cov  # the centred values of a case times this give its estimates
            cases = slice(starts[first], starts[last])
            estimate[cases] = np.einsum("ci,cij->cj", centred[cases], effect[which[cases] - first])
            residual = cov[None, :, :] - cov[None, :, :] @ (inverse @ (o[:, :, None] * cov[None, :, :]))
            residual *= m[:, :, None] * m[:, None, :]  # conditional covariances of the missing cells
            conditional += np.einsum("p,pij->ij", sizes[first:last].astype(np.float64), residual)
        estimate += mean
        completed = np.where(present, filled, estimate)
        new_mean = completed.sum(axis=0) / n
        new_cov = (completed.T @ completed + conditional) / n - np.outer(new_mean, new_mean)
        change = max(np.max(np.abs(new_mean - mean) / np.maximum(np.abs(mean), 1)),
                     np.max(np.abs(new_cov - cov)[lower] / np.maximum(np.abs(cov[lower]), 1)))
        converged = change <= 0.001
        mean, cov = new_mean, new_cov
    limit.restore_original_limits()
    completed[order] = completed.copy()  # back to case order
    out.write("cases %d patterns %d iterations %d converged %s\nmeans\n" % (n, len(sizes), iterations, converged))
    np.savetxt(out, mean[None, :], fmt="%.4f")
    out.write("covariances\n")
    np.savetxt(out, cov, fmt="%.4f")
    out.write("imputed cells (case, variable, value)\n")  # as the engine's MissingEM.dat
    cases, variables = np.nonzero(~present)
    out.write("".join("%d,%d,%f\n" % cell for cell in zip(order[cases].tolist(), (variables + 1).tolist(),
                                                          completed[order[cases], variables].tolist())))
    check("iterations", iterations)
    check("mean_1", mean[0])
    check("mean_20", mean[19])
    check("cov_1_1", cov[0, 0])
    check("cov_2_1", cov[1, 0])
    check("cov_20_19", cov[19, 18])


def impute(data, out):
    """Least squares of y on x1..x10 over the complete cases; each missing y
    becomes its fitted value minus the average of 5 residuals (fitted minus
    observed) drawn at random from the fit's cases."""
    y, xs = data[0], data[1:]
    design = np.column_stack([np.ones(y.size)] + list(xs))
    used = ~np.isnan(y)
    b, _, _, _ = np.linalg.lstsq(design[used], y[used], rcond=None)
    fitted = design @ b
    residuals = fitted[used] - y[used]
    gaps = np.flatnonzero(~used)
    rng = np.random.default_rng(12345)
    drawn = residuals[rng.integers(0, residuals.size, (gaps.size, 5))].mean(axis=1)
    filled = y.copy()
    filled[gaps] = fitted[gaps] - drawn
    r2 = 1 - np.sum(residuals ** 2) / np.sum((y[used] - y[used].mean()) ** 2)
    out.write("coefficients %s\nR2 %.6f\n" % (" ".join("%.6f" % v for v in b), r2))
    out.write("".join("%6d %15.3f %10.3f\n" % row for row in zip((gaps + 1).tolist(), filled[gaps].tolist(),
                                                                  drawn.tolist())))
    np.save(out.name + ".filled.npy", filled)
    check("imputed", gaps.size)
    check("b0", b[0])
    for j in (1, 2, 10):
        check("b%d" % j, b[j])
    check("r2", r2)
    check("fitted_mean_imputed", fitted[gaps].mean())


def main():
    workload, path, result = sys.argv[1:4]
    data = np.load(path)
    run = {"W8K": kendall, "W8S": spearman, "W8P": paired, "W8G": groups, "W11": em, "W12": impute}[workload]
    with open(result, "w") as out:
        run(data, out)


if __name__ == "__main__":
    main()
