#!/usr/bin/python3
"""The SciPy/NumPy peer of bench/run: loads a workload's .npy (one row per
variable, NaN for missing) and computes what the engine prints for it.

Usage: peer_numpy.py WORKLOAD DATA.npy RESULT_FILE
Prints "CHECK key value" lines for bench/run's agreement checks; the full
results go to RESULT_FILE, as the engine writes its report to a file.
"""
import sys

import numpy as np
import scipy.stats as stats


def check(key, value):
    print("CHECK %s %.12g" % (key, value))


def summary(x):
    """The engine's summary row: moments about the mean, quartiles by linear
    interpolation between order statistics (NumPy's default method)."""
    if np.isnan(x).any():
        x = x[~np.isnan(x)]
    n = x.size
    m = x.mean()
    d = x - m
    d2 = d * d
    m2, m3, m4 = d2.sum(), (d2 * d).sum(), (d2 * d2).sum()
    v = m2 / n
    median, q1, q3 = np.percentile(x, [50, 25, 75])
    lo, hi = x.min(), x.max()
    return dict(n=n, mean=m, sum=n * m, ss=m2, sd=np.sqrt(m2 / (n - 1)), median=median,
                q1=q1, q3=q3, min=lo, max=hi, range=hi - lo,
                skew=m3 / (n * v * np.sqrt(v)) if v > 0 else 0.0,
                kurt=m4 / (n * v * v) - 3 if v > 0 else 0.0)


def write_rows(out, rows):
    for name, row in rows:
        out.write("%s %s\n" % (name, " ".join("%s=%.6f" % kv for kv in row.items())))


def descriptive(data, out):
    rows = [("x%d" % (i + 1), summary(x)) for i, x in enumerate(data)]
    write_rows(out, rows)
    check("x1.mean", rows[0][1]["mean"])
    check("x1.median", rows[0][1]["median"])
    check("x2.q3", rows[1][1]["q3"])
    check("x2.kurtosis", rows[1][1]["kurt"])


def frequency(data, out):
    for name, x in zip(("a", "b"), data):
        values, counts = np.unique(x, return_counts=True)
        cell = counts * 100.0 / x.size
        cumulative = np.cumsum(cell)
        out.write("%s\n" % name)
        out.write("".join("%.2f %d %.2f %.2f\n" % row
                          for row in zip(values.tolist(), counts.tolist(), cell.tolist(), cumulative.tolist())))
        check(name + ".categories", values.size)
        if name == "b":
            k = int(np.searchsorted(values, 7.0))
            check("b.count7", counts[k])
            check("b.cumulative7", cumulative[k])


def crosstab(data, out):
    rows, ri = np.unique(data[0], return_inverse=True)
    cols, ci = np.unique(data[1], return_inverse=True)
    table = np.bincount(ri * cols.size + ci, minlength=rows.size * cols.size).reshape(rows.size, cols.size)
    n = table.sum()
    chi2, p, df, expected = stats.chi2_contingency(table, correction=False)
    observed = table > 0
    g2 = 2.0 * np.sum(table[observed] * np.log(table[observed] / expected[observed]))
    g2_p = stats.chi2.sf(g2, df)
    row_total, col_total = table.sum(axis=1), table.sum(axis=0)
    for label, matrix in (("count", table), ("total%", table * 100.0 / n),
                          ("row%", table * 100.0 / row_total[:, None]),
                          ("column%", table * 100.0 / col_total[None, :]), ("expected", expected)):
        out.write(label + "\n")
        np.savetxt(out, matrix, fmt="%.2f")
    out.write("min expected %.3f\nPearson %.6f %d %.6f\nLikelihood %.6f %d %.6f\n"
              % (expected.min(), chi2, df, p, g2, df, g2_p))
    check("pearson", chi2)
    check("likelihood", g2)


def anova(data, out):
    y, g = data
    levels = np.unique(g)
    groups = [y[g == level] for level in levels]
    f, p = stats.f_oneway(*groups)
    grand = summary(y)
    rows = [("all", grand)] + [("g=%g" % level, summary(x)) for level, x in zip(levels, groups)]
    write_rows(out, rows)
    between = sum(row["n"] * (row["mean"] - grand["mean"]) ** 2 for _, row in rows[1:])
    out.write("between %.6f %d F %.6f p %.6f\n" % (between, levels.size - 1, f, p))
    check("ss_between", between)
    check("f", f)


def ttest(data, out):
    y, g = data
    a, b = y[g == 1], y[g == 2]
    pooled = stats.ttest_ind(a, b, equal_var=True)
    welch = stats.ttest_ind(a, b, equal_var=False)
    sa, sb = summary(a), summary(b)
    write_rows(out, [("g=1", sa), ("g=2", sb)])
    va, vb = sa["sd"] ** 2 / sa["n"], sb["sd"] ** 2 / sb["n"]
    welch_df = (va + vb) ** 2 / (va * va / (sa["n"] - 1) + vb * vb / (sb["n"] - 1))
    out.write("pooled t %.6f p %.6f; welch t %.6f df %.3f p %.6f\n"
              % (pooled.statistic, pooled.pvalue, welch.statistic, welch_df, welch.pvalue))
    check("t_pooled", pooled.statistic)
    check("t_welch", welch.statistic)
    check("df_welch", welch_df)


def covariance_listwise(data, out):
    complete = ~np.isnan(data).any(axis=0)
    cov = np.cov(data[:, complete])
    np.savetxt(out, cov, fmt="%.6f")
    check("cases", complete.sum())
    check("cov_2_1", cov[1, 0])
    check("cov_50_49", cov[49, 48])


def covariance_pairwise(data, out):
    # Each pair over the cases where both are present, with that pair's own
    # means: cov = (sum xy - sum x sum y / n) / (n - 1) per pair, from three
    # matrix products; values are centred first for accuracy.
    present = ~np.isnan(data)
    weights = present.astype(np.float64)
    centred = np.where(present, data - np.nanmean(data, axis=1)[:, None], 0.0)
    del data, present
    pairs = weights @ weights.T
    sums = centred @ weights.T  # sums[i, j]: sum of variable i where j is present too
    products = centred @ centred.T
    cov = (products - sums * sums.T / pairs) / (pairs - 1)
    np.savetxt(out, cov, fmt="%.6f")
    check("cov_2_1", cov[1, 0])
    check("cov_50_49", cov[49, 48])


def main():
    workload, path, result = sys.argv[1:4]
    data = np.load(path)
    run = {"W1": descriptive, "W2": frequency, "W3": crosstab, "W4": anova, "W5": ttest,
           "W6L": covariance_listwise, "W6P": covariance_pairwise}[workload]
    with open(result, "w") as out:
        run(data, out)


if __name__ == "__main__":
    main()
