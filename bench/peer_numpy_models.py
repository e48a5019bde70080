#!/usr/bin/python3
"""The SciPy/NumPy/statsmodels peer of bench/run's model-fitting workloads (W7
regression, W7S forward stepwise, W9 correlations and eigenvalues, W10 general
linear model): loads a workload's .npy (one row per variable) and computes
what the engine prints for it.

Usage: peer_numpy_models.py WORKLOAD DATA.npy RESULT_FILE
Prints "CHECK key value" lines for bench/run's agreement checks; the full
results go to RESULT_FILE, as the engine writes its report to a file.
"""
import sys

import numpy as np
import scipy.stats as stats


def check(key, value):
    print("CHECK %s %.12g" % (key, value))


def write_fit(out, names, fit):
    out.write("REGRESSION %.6f %d %.6f F %.6f p %.6f\n" % (fit["ssr"], fit["pe"], fit["ssr"] / max(fit["pe"], 1),
                                                          fit["f"], fit["p"]))
    out.write("RESIDUAL %.6f %d %.6f\n" % (fit["rss"], fit["df"], fit["rss"] / fit["df"]))
    out.write("R %.6f R2 %.6f adjusted %.6f F %.6f p %.6f SE %.6f DW %.6f\n" % (
        np.sqrt(fit["r2"]), fit["r2"], fit["adj"], fit["f"], fit["p"], fit["se_est"], fit["dw"]))
    for row in zip(names, fit["b"], fit["se"], fit["hc3"], fit["beta"], fit["t"], fit["pt"]):
        out.write("%s %.6f %.6f %.6f %.6f %.6f %.6f\n" % row)


def regression(data, out):
    import statsmodels.api as sm
    from statsmodels.stats.stattools import durbin_watson
    y = data[0]
    x = sm.add_constant(data[1:].T)
    res = sm.OLS(y, x).fit(cov_type="HC3", use_t=True)
    ordinary = np.sqrt(np.diag(res.normalized_cov_params) * res.scale)
    hc3 = res.bse
    dw = durbin_watson(res.resid)
    # res.fvalue is a Wald test with the HC3 covariance; the engine's F is the ordinary one.
    f = (res.ess / res.df_model) / (res.ssr / res.df_resid)
    sd = data.std(axis=1, ddof=1)
    beta = np.concatenate([[np.nan], res.params[1:] * sd[1:] / sd[0]])
    fit = dict(pe=int(res.df_model), df=int(res.df_resid), ssr=res.ess, rss=res.ssr, f=f,
               p=stats.f.sf(f, res.df_model, res.df_resid), r2=res.rsquared, adj=res.rsquared_adj,
               se_est=np.sqrt(res.scale), dw=dw, b=res.params, se=ordinary, hc3=hc3, beta=beta,
               t=res.tvalues, pt=res.pvalues)
    write_fit(out, ["Intercept"] + ["x%d" % j for j in range(1, 31)], fit)
    check("r2", res.rsquared)
    check("f", f)
    check("dw", dw)
    check("b.intercept", res.params[0])
    check("se.intercept", ordinary[0])
    check("hc3.intercept", hc3[0])
    check("t.x1", res.tvalues[1])


def ols_step(y, z, sd):
    """One step's fit on the design z (n x (1 + entered), intercept first), as
    the engine prints it: ordinary and HC3 errors, t = b / HC3 error,
    Durbin-Watson."""
    n, k = z.shape
    inverse = np.linalg.inv(z.T @ z)
    b = inverse @ (z.T @ y)
    e = y - z @ b
    rss = e @ e
    df = n - k
    h = np.einsum("ij,ij->i", z @ inverse, z)
    scaled = z * (e / (1 - h))[:, None]
    hc3 = np.sqrt(np.diag(inverse @ (scaled.T @ scaled) @ inverse))
    se = np.sqrt(np.diag(inverse) * rss / df)
    sst = (n - 1) * sd[0] ** 2
    ssr = max(sst - rss, 0.0)
    pe = k - 1
    f = (ssr / pe) / (rss / df) if pe else 0.0
    r2 = ssr / sst
    t = b / hc3
    return dict(pe=pe, df=df, ssr=ssr, rss=rss, f=f, p=stats.f.sf(f, pe, df) if pe else 0.0, r2=r2,
                adj=r2 - pe * (1 - r2) / df, se_est=np.sqrt(rss / df), dw=np.sum(np.diff(e) ** 2) / rss,
                b=b, se=se, hc3=hc3, t=t, pt=2 * stats.t.sf(np.abs(t), df))


def stepwise(data, out):
    y, x = data[0], data[1:]
    p, n = x.shape
    sd = data.std(axis=1, ddof=1)
    centred = data - data.mean(axis=1)[:, None]
    cross = centred @ centred.T  # y first, then x1 ... x30
    syy = cross[0, 0]
    entered = []

    def rss_of(columns):
        if not columns:
            return syy
        idx = [c + 1 for c in columns]
        g = cross[np.ix_(idx, idx)]
        s = cross[idx, 0]
        return syy - s @ np.linalg.solve(g, s)

    rss = syy
    while True:
        z = np.column_stack([np.ones(n)] + [x[j] for j in entered])
        fit = ols_step(y, z, sd)
        fit["beta"] = np.concatenate([[np.nan], fit["b"][1:] * sd[[j + 1 for j in entered]] / sd[0]])
        out.write("STEP %d\n" % (len(entered) + 1))
        write_fit(out, ["Intercept"] + ["x%d" % (j + 1) for j in entered], fit)
        candidates = [j for j in range(p) if j not in entered]
        df = n - len(entered) - 2
        f_to_enter = {}
        for j in candidates:
            new = rss_of(entered + [j])
            f_to_enter[j] = (rss - new) * df / max(new, 1e-6)
        out.write("F to enter: %s\n" % " ".join("x%d %.6f" % (j + 1, f) for j, f in f_to_enter.items()))
        best = max(candidates, key=lambda j: (f_to_enter[j], j), default=None)
        if best is None or f_to_enter[best] < 3.84:
            break
        entered.append(best)
        rss = rss_of(entered)
    check("entered", len(entered))
    check("r2", fit["r2"])
    check("f", fit["f"])
    check("dw", fit["dw"])
    if f_to_enter:
        check("max_f_to_enter", max(f_to_enter.values()))


def eigenvalues(data, out):
    r = np.corrcoef(data)
    ev = np.linalg.eigvalsh(r)[::-1]
    np.savetxt(out, r, fmt="%.6f")
    out.write("".join("%d %.6f\n" % (i + 1, v) for i, v in enumerate(ev)))
    for k in (1, 2, 10, 100):
        check("eig%d" % k, ev[k - 1])
    check("r_2_1", r[1, 0])
    check("r_100_99", r[99, 98])


def glm(data, out):
    import pandas as pd
    import statsmodels.api as sm
    import statsmodels.formula.api as smf
    frame = pd.DataFrame({"y": data[0], "a": data[1], "b": data[2], "c": data[3], "x1": data[4], "x2": data[5]})
    res = smf.ols("y ~ C(a, Sum) * C(b, Sum) * C(c, Sum) + x1 + x2", data=frame).fit()
    table = sm.stats.anova_lm(res, typ=3)
    n = res.nobs
    sigma2 = res.ssr / n  # the maximum-likelihood residual variance
    table["Wald"] = table["sum_sq"] / sigma2
    table["Wald p"] = stats.chi2.sf(table["Wald"], table["df"])
    out.write(table.to_string(float_format="%.6f") + "\n")
    se = res.bse * np.sqrt(sigma2 / res.scale)  # maximum-likelihood errors
    z = res.params / se
    q = stats.norm.ppf(0.975)
    out.write(pd.DataFrame({"b": res.params, "se": se, "low": res.params - q * se, "high": res.params + q * se,
                            "z": z, "p": stats.chi2.sf(z * z, 1)}).to_string(float_format="%.6f") + "\n")
    out.write("log likelihood %.6f sigma2 %.6f SE %.6f\n" % (res.llf, sigma2, sigma2 * np.sqrt(2 / n)))
    a, b, c = "C(a, Sum)", "C(b, Sum)", "C(c, Sum)"
    check("f.a", table.loc[a, "F"])
    check("f.ab", table.loc[a + ":" + b, "F"])
    check("f.abc", table.loc[a + ":" + b + ":" + c, "F"])
    check("f.x1", table.loc["x1", "F"])
    check("wald.abc", table.loc[a + ":" + b + ":" + c, "Wald"])
    check("b.x1", res.params["x1"])
    check("sigma2", sigma2)


def main():
    workload, path, result = sys.argv[1:4]
    data = np.load(path)
    run = {"W7": regression, "W7S": stepwise, "W9": eigenvalues, "W10": glm}[workload]
    with open(result, "w") as out:
        run(data, out)


if __name__ == "__main__":
    main()
