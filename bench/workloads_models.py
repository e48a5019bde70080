"""bench/run's workloads of the model-fitting analyses (regression, stepwise,
factor analysis, the general linear model): see workload_bench.py for what a
family module holds."""
import re

import numpy as np


def rounded(values, decimals):
    scale = 10.0 ** decimals
    return np.rint(values * scale) / scale


def predictors(rng, n, p):
    """p predictors sharing one common factor (pairwise correlations about 0.2),
    with means and spreads that differ from one predictor to the next."""
    common = rng.normal(size=n)
    columns = []
    for j in range(p):
        raw = 0.45 * common + 0.89 * rng.normal(size=n)
        columns.append(rounded(10 + j % 7 + (1 + j % 3) * raw, 4))
    return columns


def make_w7(n):
    """A standard regression on 30 predictors whose error spread grows with x1
    and x2 (heteroscedastic, so the HC3 errors differ from the ordinary ones)."""
    rng = np.random.default_rng(707)
    x = predictors(rng, n, 30)
    b = np.linspace(-0.6, 0.9, 30)
    b[[4, 11, 19, 26]] = 0.0
    z1 = (x[0] - 10) / 1.0
    z2 = (x[1] - 11) / 2.0
    spread = 0.5 + 0.8 * z1 * z1 + 0.4 * np.abs(z2)
    y = 3.0 + sum(bj * xj for bj, xj in zip(b, x)) + spread * rng.normal(size=n)
    names = ["y"] + ["x%d" % (j + 1) for j in range(30)]
    return names, [rounded(y, 4)] + x, [4] * 31


def make_w7s(n):
    """Forward stepwise: 18 of the 30 predictors have an effect (of sizes from
    clear to strong), 12 none, so that the selection stops at a proper subset."""
    rng = np.random.default_rng(717)
    x = predictors(rng, n, 30)
    b = np.zeros(30)
    active = [0, 1, 2, 4, 6, 7, 9, 11, 13, 14, 16, 18, 20, 21, 23, 25, 27, 29]
    b[active] = np.linspace(0.08, 0.6, len(active)) * np.where(np.arange(len(active)) % 2, -1, 1)
    spread = 1.0 + 0.5 * np.abs(x[3] - 13) / 1.0
    y = 1.0 + sum(bj * xj for bj, xj in zip(b, x)) + spread * rng.normal(size=n)
    names = ["y"] + ["x%d" % (j + 1) for j in range(30)]
    return names, [rounded(y, 4)] + x, [4] * 31


def make_w9(n):
    """100 variables driven by 12 latent factors of decreasing strength (each
    variable loads on two of them) plus their own noise, so that the leading
    eigenvalues of the correlation matrix stand apart from one another."""
    rng = np.random.default_rng(909)
    k = 12
    factors = rng.normal(size=(k, n))
    strength = np.linspace(1.2, 0.35, k)
    columns = []
    for j in range(100):
        first, second = j % k, (j * 5 + 3) % k
        raw = strength[first] * factors[first] + 0.5 * strength[second] * factors[second] + rng.normal(size=n)
        columns.append(rounded(50 + 10 * raw, 4))
    return ["v%d" % (j + 1) for j in range(100)], columns, [4] * 100


def make_w10(n):
    """y ~ a*b*c (5 levels each, cells of unequal size) + x1 + x2: real main
    effects, a weaker a:b interaction and a weak three-way interaction."""
    rng = np.random.default_rng(1010)
    a = rng.integers(1, 6, n)
    b = rng.integers(1, 6, n)
    c = np.minimum(rng.integers(1, 6, n) + (rng.random(n) < 0.1), 5)  # level 5 more frequent
    x1 = rounded(rng.normal(20, 4, n), 4)
    x2 = rounded(rng.gamma(3.0, 2.0, n), 4)
    main_a = np.array([0, -1.0, 0.5, 1.2, -0.4, 0.3])
    main_b = np.array([0, 0.6, -0.2, 0.0, -0.5, 0.1])
    main_c = np.array([0, 0.3, 0.1, -0.4, 0.2, -0.2])
    ab = rng.normal(0, 0.15, (6, 6))
    abc = rng.normal(0, 0.03, (6, 6, 6))
    mean = 10 + main_a[a] + main_b[b] + main_c[c] + ab[a, b] + abc[a, b, c] + 0.25 * x1 - 0.4 * x2
    y = rounded(mean + rng.normal(0, 2.0, n), 4)
    columns = [y, a.astype(np.float64), b.astype(np.float64), c.astype(np.float64), x1, x2]
    return ["y", "a", "b", "c", "x1", "x2"], columns, [4, 0, 0, 0, 4, 4]


DATASETS = {  # name: (generator, cases, columns an analysis needs at once)
    "w7": (make_w7, 1_000_000, 31),
    "w7s": (make_w7s, 100_000, 31),
    "w9": (make_w9, 200_000, 100),
    "w10": (make_w10, 1_000_000, 6),
}

X30 = ",".join(["y"] + ["x%d" % j for j in range(1, 31)])
V100 = ",".join("v%d" % j for j in range(1, 101))
WORKLOADS = [  # id, dataset, title, engine arguments, engine run name
    ("W7", "w7", "standard regression, 30 predictors x 1,000,000 cases, ordinary and HC3 errors, Durbin-Watson",
     ["regression", "--vars", X30, "--method", "standard"], "bench"),
    ("W7S", "w7s", "forward stepwise regression, F to enter 3.84, 30 predictors x 100,000 cases",
     ["stepwise", "--vars", X30, "--direction", "forward", "--f", "3.84"], "bench"),
    ("W9", "w9", "correlation matrix and its eigenvalues, 100 variables x 200,000 cases",
     ["factor", "--vars", V100, "--cutoff", "1000"], "bench"),  # no factor retained: correlations and eigenvalues
    ("W10", "w10", "GLM y ~ a*b*c (5 levels each) + 2 covariates, 1,000,000 cases, ANOVA and Wald tests",
     ["glm", "--vars", "y", "--factors", "a,b,c", "--covariates", "x1,x2"], "bench"),
]
SCIPY_3X = set()
# What a peer leaves out of what the engine prints, or adds to it (shown under the table).
GAPS = {
    ("W7", "PSPP"): "REGRESSION has no heteroscedasticity-consistent errors: it gives the ordinary "
                    "errors, t and p from them, and saves the residuals, from which LAG, COMPUTE and "
                    "DESCRIPTIVES give the Durbin-Watson statistic (so PSPP's t differs from the "
                    "engine's, which divides by the HC3 error)",
    ("W7", "SciPy"): "statsmodels OLS from arrays with cov_type=\"HC3\" (its F is recomputed from the "
                     "sums of squares, as statsmodels' own F then uses the HC3 covariance)",
    ("W7S", "R"): "step() adds by AIC with the penalty k = 3.84 per coefficient (n log RSS + 3.84 p, "
                  "the likelihood-ratio form of F to enter 3.84) rather than by F; its trace gives each "
                  "candidate's RSS at every step (the F to enter follows from it), keep= gives every "
                  "step's coefficients, ordinary and HC3 errors and Durbin-Watson, add1(test=\"F\") "
                  "the last step's F to enter",
    ("W7S", "SciPy"): "statsmodels has no stepwise selection: a forward loop by F to enter 3.84 in "
                      "NumPy (candidates from the cross-product matrix, each step's fit with ordinary "
                      "and HC3 errors and Durbin-Watson from the data)",
    ("W7S", "PSPP"): "REGRESSION has no stepwise method (METHOD=ENTER only): not run",
    ("W9", "engine"): "factor with --cutoff 1000, so that no factor is retained: the engine computes "
                      "the correlation matrix and its eigenvalues only (with the default cut-off of 1 it "
                      "would also extract and rotate the 12 factors of eigenvalue at least 1)",
    ("W9", "PSPP"): "FACTOR also extracts one principal component (communalities and loadings; "
                    "/CRITERIA=FACTORS(1), no rotation) beside the correlation matrix and the "
                    "eigenvalues, which it prints with 2 decimals",
    ("W9", "R"): "cor() and eigen(symmetric = TRUE, only.values = TRUE)",
    ("W9", "SciPy"): "np.corrcoef and np.linalg.eigvalsh",
    ("W10", "PSPP"): "GLM takes no covariates (no WITH): it fits y ~ a*b*c alone (type III sums of "
                     "squares), so its F values belong to another model and are not compared; with the "
                     "interactions it takes about a millisecond a case, so it runs the first 100,000 "
                     "cases and its times are scaled by the cases over 100,000",
    ("W10", "R"): "lm with contr.sum and car::Anova(type = 3); the engine's maximum-likelihood "
                  "errors and Wald chi-squares derived from the fit (sigma^2 = RSS / n)",
    ("W10", "SciPy"): "statsmodels ols formula with C(., Sum) and anova_lm(typ=3) (anova_lm needs the "
                      "formula's design information); maximum-likelihood errors and Wald chi-squares "
                      "derived from the fit",
}


def number(text):
    text = text.strip().rstrip("%")
    decimals = len(text.split(".")[1]) if "." in text else 0
    return float(text), decimals


NUMBER = r"(-?\d+\.\d+)"


def cells(text):
    """The numbers of a table row printed with three decimals each: wide values
    may fill their field and touch the next one (-0.097-153.208)."""
    return [number(cell) for cell in re.findall(r"-?\d+\.\d{3}", text)]


def regression_step(lines):
    """The values of one printed regression step: R-square, F, Durbin-Watson and
    the coefficient rows (b, ordinary SE, heteroscedastic SE, t)."""
    values = {}
    for line in lines:
        m = re.match(r"^R-square\s+=\s*" + NUMBER, line)
        if m:
            values["r2"] = number(m.group(1))
        m = re.match(r"^F\(\s*\d+,\s*\d+\)\s+=\s*" + NUMBER, line)
        if m:
            values["f"] = number(m.group(1))
        m = re.match(r"^Durbin-Watson Stat\.=\s*" + NUMBER, line)
        if m:
            values["dw"] = number(m.group(1))
        name, row = line[:9].strip(), cells(line[9:])
        if name == "Intercept" and len(row) == 5:  # b, SE, HC3 SE, t, p
            values["b.intercept"], values["se.intercept"], values["hc3.intercept"], values["t.intercept"] = row[:4]
        elif re.fullmatch(r"x\d+", name) and len(row) == 6:  # b, SE, HC3 SE, beta, t, p
            values["b." + name], values["se." + name], values["hc3." + name] = row[:3]
            values["t." + name] = row[4]
    return values


def engine_values(workload, lines):
    values = {}
    if workload == "W7":
        step = regression_step(lines)
        for key in ("r2", "f", "dw", "b.intercept", "se.intercept", "hc3.intercept", "t.x1"):
            if key in step:
                values[key] = step[key]
    elif workload == "W7S":
        starts = [i for i, line in enumerate(lines) if re.match(r"^STEP\s+\d+$", line)]
        entered = sum(1 for line in lines if line.startswith("VARIABLE ENTERED:"))
        if starts:
            last = lines[starts[-1]:]
            step = regression_step(last)
            values["entered"] = (float(entered), 0)
            for key in ("r2", "f", "dw"):
                if key in step:
                    values[key] = step[key]
            candidates = [number(line[9:]) for line in last
                          if re.fullmatch(r"x\d+", line[:9].strip()) and re.fullmatch(r"\s*" + NUMBER, line[9:])]
            if candidates:
                values["max_f_to_enter"] = max(candidates)
    elif workload == "W9":
        eigen, matrix, columns, section = {}, {}, [], None
        for line in lines:
            t = line.split()
            if line.strip() == "Eigenvalues":
                section = "eigen"
            elif section == "eigen" and len(t) == 2 and t[0].isdigit():
                eigen[int(t[0])] = number(t[1])
            elif t and all(re.fullmatch(r"v\d+", w) for w in t):
                columns = t
            elif columns and len(t) >= 2 and re.fullmatch(r"v\d+", t[0]):
                for name, cell in zip(columns, t[1:]):
                    matrix[(t[0], name)] = number(cell)
        for k in (1, 2, 10, 100):
            if k in eigen:
                values["eig%d" % k] = eigen[k]
        for key, cell in (("r_2_1", ("v2", "v1")), ("r_100_99", ("v100", "v99"))):
            if cell in matrix:
                values[key] = matrix[cell]
    elif workload == "W10":
        section = None
        for line in lines:
            if "ANALYSIS OF VARIANCE" in line:
                section = "anova"
            elif line.startswith("Wald Tests"):
                section = "wald"
            elif line.startswith("Estimates of Regression"):
                section = "beta"
            elif line.startswith("Estimates of Residual"):
                section = "theta"
            row = cells(line)
            label = line[:22].strip()
            if section == "anova" and len(row) == 4:  # SS, MS, F, p (df between SS and MS)
                key = {"a (A)": "a", "A.B": "ab", "A.B.C": "abc", "x1": "x1"}.get(label)
                if key:
                    values["f." + key] = row[2]
            elif section == "wald" and len(row) == 2 and line.split()[0] == "A.B.C":
                values["wald.abc"] = row[0]
            elif section == "beta" and len(row) == 6 and line.split()[0] == "x1":
                values["b.x1"] = row[0]
            elif section == "theta" and len(row) == 6 and line.split()[0] == "1":
                values["sigma2"] = row[0]
    return values


def pspp_values(workload, tables):
    values = {}
    try:
        if workload == "W7":
            summary = tables["Model Summary (y)"][0]
            values["r2"] = number(summary[1][summary[0].index("R Square")])
            for row in tables["ANOVA (y)"][0]:
                if row[0] == "Regression":
                    values["f"] = number(row[4])
            for row in tables["Coefficients (y)"][0]:
                if row[0] == "(Constant)":
                    values["b.intercept"] = number(row[1])
                    values["se.intercept"] = number(row[2])
            sums = {row[0]: float(row[2]) for row in tables["Descriptive Statistics"][0][1:] if row[0] in ("e2", "d2")}
            # A ratio of two sums printed to 2 decimals out of 10^5 or more: good to 4 decimals.
            values["dw"] = (sums["d2"] / sums["e2"], 4)
        elif workload == "W9":
            eigen = {}
            for row in tables["Total Variance Explained"][0][2:]:
                eigen[int(row[0])] = number(row[1])
            for k in (1, 2, 10, 100):
                values["eig%d" % k] = eigen[k]
            rows = tables["Correlation Matrix"][0]
            head = rows[0]
            variable = None
            for row in rows[1:]:
                variable = row[1] or variable
                if row[0] in ("Correlation", "") and variable == "v2":
                    values["r_2_1"] = number(row[head.index("v1")])
                elif row[0] in ("Correlation", "") and variable == "v100":
                    values["r_100_99"] = number(row[head.index("v99")])
    except (KeyError, ValueError, IndexError):
        pass
    return values
