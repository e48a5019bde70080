"""bench/run's workloads of the rank tests and missing-data procedures
(nonparametric tests, EM, regression imputation): see workload_bench.py for what a
family module holds."""
import math
import re

import numpy as np


def rounded(values, decimals):
    scale = 10.0 ** decimals
    return np.rint(values * scale) / scale


def make_w8(n):
    """Five variables through one common factor with loadings from strong to
    none, so that the ten pairs' p-values range from 0 to about 1."""
    rng = np.random.default_rng(808)
    factor = rng.normal(size=n)
    columns = []
    for loading in (0.7, 0.05, 0.04, 0.02, 0.0):
        x = 50 + 10 * (loading * factor + np.sqrt(1 - loading ** 2) * rng.normal(size=n))
        columns.append(rounded(x, 4))
    return ["v%d" % (j + 1) for j in range(5)], columns, [4] * 5


def make_w8p(n):
    """One pair: y correlated with x, shifted by a little and a little wider,
    so that the sign, Wilcoxon and Kolmogorov-Smirnov p-values are not 0 or 1."""
    rng = np.random.default_rng(818)
    zx = rng.normal(size=n)
    x = 50 + 10 * zx
    y = 50.018 + 10.05 * (0.6 * zx + 0.8 * rng.normal(size=n))
    return ["x", "y"], [rounded(x, 4), rounded(y, 4)], [4, 4]


def make_w8g(n):
    """A grouping variable of 10 groups with a weak effect on v1, and five
    variables correlated within cases with slightly different centres."""
    rng = np.random.default_rng(828)
    g = rng.integers(1, 11, n).astype(np.float64)
    factor = rng.normal(size=n)
    columns = [g]
    for j in range(5):
        x = 50 + 0.004 * j + 10 * (0.5 * factor + 0.866 * rng.normal(size=n))
        if j == 0:
            x += 0.006 * g
        columns.append(rounded(x, 4))
    return ["g"] + ["v%d" % (j + 1) for j in range(5)], columns, [0] + [4] * 5


def make_w11(n):
    """Twenty variables correlated through two factors, each value missing
    with probability 0.2 independently of everything."""
    rng = np.random.default_rng(1111)
    f1, f2 = rng.normal(size=n), rng.normal(size=n)
    columns = []
    for j in range(20):
        a, b = 0.3 + 0.02 * j, 0.4 - 0.02 * j
        x = rounded(50 + 10 * (a * f1 + b * f2 + np.sqrt(1 - a * a - b * b) * rng.normal(size=n)), 4)
        x[rng.random(n) < 0.2] = np.nan
        columns.append(x)
    return ["x%d" % (j + 1) for j in range(20)], columns, [4] * 20


def make_w12(n):
    """y depends linearly on x1..x10 (all present); y is missing in about 15%
    of the cases, more often where x1 is large (missing at random)."""
    rng = np.random.default_rng(1212)
    xs = [rounded(rng.normal(50, 10, n), 4) for _ in range(10)]
    beta = np.array([0.8, -0.5, 0.3, 0.25, -0.2, 0.15, 0.1, -0.05, 0.02, 0.0])
    y = rounded(5 + np.column_stack(xs) @ beta + rng.normal(0, 8, n), 4)
    y[rng.random(n) < np.where(xs[0] > 55, 0.3, 0.08)] = np.nan
    return ["y"] + ["x%d" % (j + 1) for j in range(10)], [y] + xs, [4] * 11


DATASETS = {  # name: (generator, cases, columns an analysis needs at once)
    "w8": (make_w8, 1_000_000, 2),     # the rank correlations: one pair at a time
    "w8p": (make_w8p, 1_000_000, 2),
    "w8g": (make_w8g, 1_000_000, 6),   # Friedman holds all five variables (and the groups)
    "w11": (make_w11, 100_000, 20),
    "w12": (make_w12, 1_000_000, 11),
}

V5 = "v1,v2,v3,v4,v5"
X10 = ",".join("x%d" % i for i in range(1, 11))
WORKLOADS = [  # id, dataset, title, engine arguments (or a list of them), engine run name
    ("W8K", "w8", "Kendall tau-b with p-values, 5 variables x 1,000,000 cases (10 pairs)",
     ["nonparametric", "--vars", V5, "--tests", "kendall"], "kendall"),
    ("W8S", "w8", "Spearman with p-values, 5 variables x 1,000,000 cases (10 pairs)",
     ["nonparametric", "--vars", V5, "--tests", "spearman"], "spearman"),
    ("W8P", "w8p", "sign, Wilcoxon signed-rank and two-sample KS tests, 1,000,000 pairs",
     ["nonparametric", "--vars", "x,y", "--tests", "sign,wilcoxon,ks"], "paired"),
    ("W8G", "w8g", "Kruskal-Wallis by 10 groups and Friedman, 5 variables x 1,000,000 cases",
     ["nonparametric", "--vars", V5, "--group", "g", "--tests", "kruskal,friedman"], "groups"),
    ("W11", "w11", "EM means and covariances, 20 variables x 100,000 cases, 20% missing",
     ["em", "--vars", ",".join("x%d" % i for i in range(1, 21))], "em"),
    ("W12", "w12", "regression imputation of y from 10 variables, 1,000,000 cases, 15% missing",
     ["regression-impute", "--dependent", "y", "--vars", X10, "--draws", "5", "--seed", "12345",
      "--work-dir", "@WORK@"], "impute"),
]
GAPS = {
    ("W8K", "R"): "cor.test(method = \"kendall\") counts all pairs of cases (O(n^2)): it runs the first "
                  "10,000 cases and its time is multiplied by (n / 10,000)^2, R's start and readRDS "
                  "included; its values are of that prefix and are not compared",
    ("W8K", "SciPy"): "kendalltau's p-value uses the tie-corrected variance of S (the engine's, tau-b over "
                      "the variance without ties): at 1,000,000 cases (88% of the values share theirs "
                      "with another) they differ by up to about 1e-6 (v3-v2: 0.126749 against 0.126750, on the "
                      "rounding edge of the printed 0.1267, hence not among the values compared)",
    ("W8P", "PSPP"): "NPAR TESTS has no two-sample Kolmogorov-Smirnov test; its sign test p-value is the "
                     "exact binomial one (the engine's, R's and SciPy's: the normal approximation with "
                     "continuity correction)",
    ("W8P", "R/SciPy"): "the two-sample Kolmogorov-Smirnov D is the largest gap between the two "
                        "distribution functions at the data values; the engine walks the merged samples "
                        "taking the second sample's copies of a shared value first and measures the gap "
                        "after every step, also inside such a tie: with 88% of the values tied it prints "
                        "D 0.0021 (0.002085) and p 0.0259, where the peers have D 0.002083 and p 0.0261",
    ("W8P", "R"): "the sign test through prop.test (the normal approximation with continuity correction, "
                  "which the engine uses above 100 differences) rather than the exact binom.test",
    ("W8P", "SciPy"): "the sign test's p-value by the normal approximation with continuity correction "
                      "(the engine's above 100 differences) rather than the exact binomtest",
    ("W8G", "PSPP"): "NPAR TESTS gives the mean ranks (not the rank sums) and no multiple comparisons of "
                     "the mean ranks; Kendall's W takes a further /KENDALL subcommand",
    ("W8G", "R"): "Kruskal-Wallis from one rank() per variable and Friedman from one ordering of all "
                  "values by case (friedman.test ranks case by case through apply); the Friedman statistic "
                  "compared is the one without the correction for ties within cases (the engine's); the "
                  "corrected one (friedman.test's) is written too: 8.80445 against 8.80440 at 1,000,000 cases",
    ("W8G", "SciPy"): "the Friedman statistic compared is the one without the correction for ties within "
                      "cases (the engine's); friedmanchisquare's corrected one is written too (and "
                      "friedmanchisquare itself, which ranks case by case in Python, is not used)",
    ("W11", "R"): "an EM of its own in base R, one regression (solve) per missingness pattern: Amelia's EM "
                  "works on standardised data from its own start and stops by its own tolerance, so its "
                  "estimates are not the engine's; r-cran-norm is not in Debian",
    ("W11", "SciPy"): "an EM of its own in NumPy (the regressions of all missingness patterns solved at "
                      "once); SciPy and statsmodels have no EM for means and covariances",
    ("W12", "R"): "lm + predict, the random residuals from R's own generator (set.seed, sample): the "
                  "imputed values differ from the engine's by the random part; compared: the "
                  "coefficients, R-square, the number of imputed cells and the mean fitted value of "
                  "the imputed cases",
    ("W12", "SciPy"): "lstsq, the random residuals from NumPy's generator: compared as for R",
}
SCIPY_3X = {"W8K", "W8G", "W11"}


# ---------------------------------------------------------------- the engine's report

def _number(text):
    """(value, decimals printed); "2.46767e+07" counts 5 - 7 = -2 decimals."""
    m = re.fullmatch(r"(-?\d+)(?:\.(\d*))?(?:[eE]([+-]?\d+))?", text.strip())
    if not m:
        raise ValueError(text)
    decimals = len(m.group(2) or "") - int(m.group(3) or 0)
    return float(text), decimals


_NUMBER = r"-?\d+(?:\.\d*)?(?:e[+-]\d+)?|\*"


def _matrices(lines):
    """Every packed lower-triangular matrix of the report: {heading: {(row,
    column): (value, decimals)}}, the heading being the text line above it.
    A header line (indented) names the columns of a block; a row is "name
    value value ..." (a wide value may touch the name: "y2.46767e+07")."""
    found, heading, columns, names = {}, None, [], set()
    identifier = r"[A-Za-z]\w*"
    for line in lines:
        words = line.split()
        if not words:
            continue
        if line.startswith("    ") and all(re.fullmatch(identifier, w) for w in words):
            columns = words
            names |= set(words)
            continue
        name = None
        if columns:
            first = words[0]
            if re.fullmatch(identifier, first):
                name, rest = first, words[1:]
            else:
                name = next((c for c in sorted(names, key=len, reverse=True)
                             if first.startswith(c) and re.fullmatch(_NUMBER, first[len(c):])), None)
                rest = [first[len(name):]] + words[1:] if name else []
            if name and not all(re.fullmatch(_NUMBER, w) for w in rest):
                name = None
        if name:
            for column, cell in zip(columns, rest):
                if cell != "*":
                    found.setdefault(heading, {})[(name, column)] = _number(cell)
            continue
        heading, columns = line.strip(), []
    return found


def _after(lines, label):
    """The number after "label ... =" on the first line holding it."""
    for line in lines:
        if line.strip().startswith(label) and "=" in line:
            return _number(line.split("=", 1)[1].split()[0])
    return None


def engine_values(workload, lines):
    values = {}
    if workload in ("W8K", "W8S"):
        which = "Kendall" if workload == "W8K" else "Spearman"
        statistic = "tau" if workload == "W8K" else "rho"
        matrices = _matrices(lines)
        coefficients = matrices.get("%s Rank Correlation Coefficients" % which, {})
        p_values = matrices.get("Two-tail p-values of %s Correlations" % which, {})
        for i, j in ((2, 1), (3, 2), (4, 3), (5, 4)):
            values["%s_%d_%d" % (statistic, i, j)] = coefficients.get(("v%d" % i, "v%d" % j))
        for i, j in ((4, 2), (4, 3), (5, 2), (5, 3)):  # p-values away from 0 at 1,000,000 cases
            values["p_%d_%d" % (i, j)] = p_values.get(("v%d" % i, "v%d" % j))
    elif workload == "W8P":
        m = _matrices(lines)
        pair = ("y", "x")
        values["sign_positive"] = m.get("Number of Positive (Column-Row) Differences", {}).get(pair)
        values["sign_p"] = m.get("Two-tail p-values of Sign Test", {}).get(pair)
        values["sign_n"] = m.get("Number of Nonzero Differences", {}).get(pair)
        values["wilcoxon_t"] = m.get("Smaller Sum of Like-Signed Ranks", {}).get(pair)
        values["wilcoxon_p"] = m.get("Two-tail p-values of Wilcoxon Signed Rank Test", {}).get(pair)
        values["ks_d"] = m.get("Kolmogorov-Smirnov Two-Sample Test Statistics", {}).get(pair)
        values["ks_p"] = m.get("Two-tail p-values of Kolmogorov-Smirnov Tests", {}).get(pair)
    elif workload == "W8G":
        variable = None
        for line in lines:
            m = re.match(r"^ Kruskal-Wallis One-way ANOVA for\s+(\S+)", line)
            if m:
                variable = m.group(1)
            t = line.split()
            if variable in ("v1", "v5"):
                key = "kw%s_" % variable[1:]
                if len(t) == 4 and t[0] == "1" and key + "ranksum1" not in values:
                    values[key + "ranksum1"] = _number(t[2])
                elif line.startswith("Kruskal-Wallis Test Statistic"):
                    values[key + "h"] = _number(t[-1])
                elif line.startswith("P-value") and key + "p" not in values:
                    values[key + "p"] = _number(t[-1])
            if line.startswith("Friedman Two-way ANOVA"):
                variable = "friedman"
            if variable == "friedman" and len(t) == 3 and t[0] == "v1":
                values["friedman_ranksum1"] = _number(t[1])
        values["friedman_chi2"] = _after(lines, "Friedman Test Statistic")
        values["friedman_w"] = _after(lines, "Kendall's Coefficient of Concordance")
        tail = lines[next((i for i, l in enumerate(lines) if l.startswith("Friedman Two-way")), len(lines)):]
        values["friedman_p"] = _after(tail, "P-value")
    elif workload == "W11":
        start = next((i for i, l in enumerate(lines) if "Maximum Likelihood Estimate" in l), None)
        if start is not None:
            estimates = lines[start:]
            means = {}
            names = []
            for line in estimates:
                t = line.split()
                if t[:1] == ["Variable"]:
                    names = t[1:]
                elif t[:1] == ["Mean"]:
                    means.update(zip(names, (_number(w) for w in t[1:])))
            values["mean_1"], values["mean_20"] = means.get("x1"), means.get("x20")
            cov = next(iter(_matrices(estimates).values()), {})
            values["cov_1_1"] = cov.get(("x1", "x1"))
            values["cov_2_1"] = cov.get(("x2", "x1"))
            values["cov_20_19"] = cov.get(("x20", "x19"))
    elif workload == "W12":
        imputed, fitted = 0, 0.0
        cases = False
        for line in lines:
            t = line.split()
            if len(t) == 6 and t[0] in ("Intercept", "x1", "x2", "x10"):
                values["b0" if t[0] == "Intercept" else "b" + t[0][1:]] = _number(t[1])
            elif len(t) == 7 and t[0] in ("x1", "x2", "x10"):
                values["b" + t[0][1:]] = _number(t[1])
            elif line.startswith("R-square"):
                values["r2"] = _number(t[-1])
            elif line.startswith("  ----   ----"):
                cases = True
            elif cases and len(t) == 3 and re.fullmatch(r"\d+", t[0]):
                imputed += 1
                fitted += float(t[1]) + float(t[2])  # imputed value plus the residual taken off it
        if imputed:
            values["imputed"] = (float(imputed), 0)
            values["fitted_mean_imputed"] = (fitted / imputed, 3)
    return {k: v for k, v in values.items() if v is not None}


# ---------------------------------------------------------------- PSPP's output

def _pspp_number(text):
    text = text.strip()
    if re.fullmatch(r"-?\d*\.\d+E[+-]\d+", text):
        return _number(text.replace("E", "e").replace(".", "0.", 1) if text.startswith(".") else
                       text.replace("E", "e"))
    return _number("0" + text if text.startswith(".") else text.replace("-.", "-0."))


def pspp_values(workload, tables):
    values = {}
    try:
        if workload == "W8P":
            for row in tables["Frequencies"][0]:
                if row[1] == "Negative Differences":  # y - x < 0: x - y, the engine's column - row, > 0
                    values["sign_positive"] = _pspp_number(row[2])
                elif row[1] == "Total":
                    total = _pspp_number(row[2])
                elif row[1] == "Ties":
                    ties = _pspp_number(row[2])
            values["sign_n"] = (total[0] - ties[0], 0)
            sign, wilcoxon = tables["Test Statistics"][0], tables["Test Statistics"][1]
            values["sign_p"] = _pspp_number(next(r for r in sign if r[0] == "Exact Sig. (2-tailed)")[1])
            # The rank sums come in two significant digits ("2.5E+011") at this size: the
            # smaller sum from its count and mean rank, good to N times half a unit of the mean.
            sums = []
            for r in tables["Ranks"][0]:
                if r[1] in ("Negative Ranks", "Positive Ranks"):
                    count, mean = _pspp_number(r[2])[0], _pspp_number(r[3])
                    sums.append((count * mean[0], mean[1] - math.ceil(math.log10(max(count, 1)))))
            values["wilcoxon_t"] = min(sums)
            values["wilcoxon_p"] = _pspp_number(next(r for r in wilcoxon if r[0] == "Asymp. Sig. (2-tailed)")[1])
        elif workload == "W8G":
            kruskal, friedman, kendall = tables["Test Statistics"][:3]
            head = kruskal[0]
            for v in ("v1", "v5"):
                column = head.index(v)
                for row in kruskal[1:]:
                    if row[0] == "Chi-Square":
                        values["kw%s_h" % v[1:]] = _pspp_number(row[column])
                    elif row[0] == "Asymp. Sig.":
                        values["kw%s_p" % v[1:]] = _pspp_number(row[column])
            for row in friedman:
                if row[0] == "Chi-Square":
                    values["friedman_chi2"] = _pspp_number(row[1])
                elif row[0] == "Asymp. Sig.":
                    values["friedman_p"] = _pspp_number(row[1])
            for row in kendall:
                if row[0] == "Kendall's W":
                    values["friedman_w"] = _pspp_number(row[1])
    except (KeyError, ValueError, IndexError, StopIteration, UnboundLocalError):
        pass
    return values
