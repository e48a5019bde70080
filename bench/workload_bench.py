#!/usr/bin/python3
"""bench/run's body: generates the six workloads, converts them to each tool's
native file, times whole processes (the engine, R, SciPy/NumPy, PSPP and the
plain column read), checks that the engine's printed numbers agree with the
peers', prints the table and records it in bench/RESULTS.md.

Run it through bench/run, which installs the peers and builds the engine.
"""
import argparse
import csv
import datetime
import io
import math
import os
import platform
import re
import shlex
import statistics
import subprocess
import sys
import time

import numpy as np

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
DATA_VERSION = "1"  # bump when a generator changes, so that old data is rebuilt
SYSTEM_MISSING = 1e35
BEGIN = "<!-- bench/run: begin (written by bench/run; replaced on each run) -->"
END = "<!-- bench/run: end -->"


# ---------------------------------------------------------------- workloads
# Each generator returns (names, columns, decimals): values are k / 10^decimals
# with k whole, i.e. the double nearest to the printed decimal, so every tool
# that parses the CSV text gets the same doubles as the .npy and .rds files.

def rounded(values, decimals):
    scale = 10.0 ** decimals
    return np.rint(values * scale) / scale


def make_w1(n):
    rng = np.random.default_rng(101)
    columns = []
    for j in range(10):  # odd-numbered variables normal, even ones skewed
        raw = rng.normal(50, 10, n) if j % 2 == 0 else rng.exponential(10, n)
        columns.append(rounded(raw, 4))
    return ["x%d" % (j + 1) for j in range(10)], columns, [4] * 10


def make_w2(n):
    rng = np.random.default_rng(202)
    a = np.floor(rng.random(n) * 100000) / 10  # about 100,000 distinct values
    b = rng.integers(1, 21, n).astype(np.float64)
    return ["a", "b"], [a, b], [1, 0]


def make_w3(n):
    rng = np.random.default_rng(303)
    r = rng.integers(1, 21, n)
    shift = (rng.random(n) < 0.02) * r  # a weak association
    c = (rng.integers(0, 30, n) + shift) % 30 + 1
    return ["r", "c"], [r.astype(np.float64), c.astype(np.float64)], [0, 0]


def make_w4(n):
    rng = np.random.default_rng(404)
    g = rng.permutation(np.repeat(np.arange(1, 11), n // 10)).astype(np.float64)
    y = rounded(rng.normal(50, 10, g.size) + 0.02 * g, 4)
    return ["y", "g"], [y, g], [4, 0]


def make_w5(n):
    rng = np.random.default_rng(505)
    g = np.where(rng.random(n) < 0.4, 2.0, 1.0)
    y = rounded(np.where(g == 1, rng.normal(50, 10, n), rng.normal(50.02, 12, n)), 4)
    return ["y", "g"], [y, g], [4, 0]


def make_w6(n):
    rng = np.random.default_rng(606)
    factor = rng.normal(size=n)
    columns = []
    for _ in range(50):  # correlated through one common factor, 5% missing
        x = rounded(50 + 10 * (0.4 * factor + 0.9165 * rng.normal(size=n)), 4)
        x[rng.random(n) < 0.05] = np.nan
        columns.append(x)
    return ["x%d" % (j + 1) for j in range(50)], columns, [4] * 50


DATASETS = {  # name: (generator, cases, columns an analysis needs at once)
    "w1": (make_w1, 5_000_000, 2),   # two variables at a time (one pass over both)
    "w2": (make_w2, 1_000_000, 1),   # one variable at a time
    "w3": (make_w3, 5_000_000, 2),
    "w4": (make_w4, 5_000_000, 2),
    "w5": (make_w5, 5_000_000, 2),
    "w6": (make_w6, 1_000_000, 50),
}

VARS50 = ",".join("x%d" % i for i in range(1, 51))
WORKLOADS = [  # id, dataset, title, engine arguments, engine run name
    ("W1", "w1", "descriptive, 10 variables x 5,000,000 cases",
     ["descriptive", "--vars", ",".join("x%d" % i for i in range(1, 11))], "bench"),
    ("W2", "w2", "frequency tables, 1,000,000 cases, ~100,000 and 20 categories",
     ["frequency", "--vars", "a,b"], "bench"),
    ("W3", "w3", "cross tabulation 20 x 30, 5,000,000 cases, Pearson and G^2",
     ["crosstab", "--vars", "r,c"], "bench"),
    ("W4", "w4", "one-way ANOVA, 10 groups x 500,000 cases",
     ["anova1", "--vars", "y,g"], "bench"),
    ("W5", "w5", "independent t-test, 5,000,000 cases in two groups",
     ["independent", "--vars", "y", "--group", "g"], "bench"),
    ("W6L", "w6", "covariances listwise, 50 variables x 1,000,000 cases, 5% missing",
     ["correlation", "--vars", VARS50], "listwise"),
    ("W6P", "w6", "covariances pairwise, 50 variables x 1,000,000 cases, 5% missing",
     ["correlation", "--vars", VARS50, "--processing", "pair"], "pairwise"),
]
# Targets: every peer at least this many times slower than the engine.
TARGETS = {"R": 3.0, "PSPP": 3.0, "SciPy": 1.0}
SCIPY_3X = {"W1", "W2", "W4", "W5"}
ONE_PASS = ["W1", "W2", "W3", "W4", "W5", "W6L", "W8S", "W12"]


def workload_order(wid):
    """W1 < W6L < W7 < W7S < W10: by number, then by suffix."""
    m = re.match(r"W(\d+)(.*)", wid)
    return (int(m.group(1)), m.group(2)) if m else (0, wid)
PEERS = ["R", "SciPy", "PSPP"]
# What a peer leaves out of what the engine prints (shown under the table).
GAPS = {
    ("W4", "PSPP"): "ONEWAY gives each group's N, mean, SD, minimum and maximum, not its quartiles, "
                    "skewness and kurtosis (the engine, R and SciPy compute those too)",
    ("W5", "PSPP"): "T-TEST gives each group's N, mean and SD, not its quartiles, skewness and "
                    "kurtosis; it adds Levene's test",
    ("W1", "PSPP"): "FREQUENCIES gives the sample (bias-corrected) skewness and kurtosis; "
                    "at 5,000,000 cases they agree with the engine's to the printed digits",
    ("W6L", "PSPP"): "CORRELATIONS computes correlations, significances and cross-products "
                     "beside the covariances",
    ("W6P", "PSPP"): "CORRELATIONS computes correlations, significances and cross-products "
                     "beside the covariances",
}


# Workloads of the later analyses live in one module per family beside this
# file (workloads_models.py, workloads_ranks.py), each with its own peer scripts
# (peer_r_FAMILY.R, peer_numpy_FAMILY.py; PSPP syntax in peer_pspp_ID.sps, when
# PSPP has the procedure) and its own readers of the printed results. A module
# holds DATASETS, WORKLOADS (rows as above; the engine part may also be a list
# of argument lists, run one after another in one timed process), GAPS,
# SCIPY_3X, engine_values(workload, lines) and pspp_values(workload, tables).
sys.path.insert(0, BENCH)
import workloads_models  # noqa: E402
import workloads_ranks  # noqa: E402

FAMILIES = {"": None, "models": workloads_models, "ranks": workloads_ranks}
WORKLOADS = [row + ("",) for row in WORKLOADS]
for _family, _module in FAMILIES.items():
    if _module is not None:
        DATASETS.update(_module.DATASETS)
        WORKLOADS.extend(tuple(row) + (_family,) for row in _module.WORKLOADS)
        GAPS.update(_module.GAPS)
        SCIPY_3X |= set(_module.SCIPY_3X)
WORKLOADS.sort(key=lambda row: workload_order(row[0]))


# ---------------------------------------------------------------- helpers

def log(message):
    print(message, file=sys.stderr, flush=True)


def run_checked(command, **kwargs):
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kwargs)
    if result.returncode != 0:
        sys.exit("bench/run: %s failed:\n%s%s" % (" ".join(command), result.stdout.decode(errors="replace")[-2000:],
                                                  result.stderr.decode(errors="replace")[-2000:]))
    return result.stdout.decode(errors="replace")


def fill_template(template, destination, **values):
    with open(os.path.join(BENCH, template)) as f:
        text = f.read()
    for key, value in values.items():
        text = text.replace("@%s@" % key, value)
    with open(destination, "w") as f:
        f.write(text)


def write_csv(path, names, columns, decimals):
    row_format = ",".join("%%.%df" % d for d in decimals)
    table = np.column_stack(columns)
    missing = bool(np.isnan(table).any())
    with open(path, "w") as f:
        f.write(",".join(names) + "\n")
        for start in range(0, table.shape[0], 100_000):
            rows = table[start:start + 100_000].tolist()
            text = "\n".join([row_format % tuple(row) for row in rows])
            if missing:  # an empty cell is a missing value for every tool
                text = text.replace("nan", "")
            f.write(text + "\n")


def check_rkd(path, columns):
    """The .rkd file ends with each variable's 48-byte descriptor and doubles:
    they must be the generated doubles (1e35 for missing)."""
    n = columns[0].size
    block = 48 + 8 * n
    with open(path, "rb") as f:
        f.seek(-block * len(columns), os.SEEK_END)
        for column in columns:
            stored = np.frombuffer(f.read(block)[48:], dtype="<f8")
            if not np.array_equal(stored, np.where(np.isnan(column), SYSTEM_MISSING, column)):
                sys.exit("bench/run: %s does not hold the generated values" % path)


def check_sav(path, columns):
    """An uncompressed system file ends with the cases, one double per variable
    (the lowest double for system-missing): they must be the generated doubles."""
    table = np.column_stack(columns)
    with open(path, "rb") as f:
        f.seek(-table.nbytes, os.SEEK_END)
        stored = np.frombuffer(f.read(), dtype="<f8").reshape(table.shape)
    if not np.array_equal(stored, np.where(np.isnan(table), -np.finfo(np.float64).max, table)):
        sys.exit("bench/run: %s does not hold the generated values" % path)


def prepare(dataset, work, scale, tools):
    """Generates the dataset once and converts it; later runs reuse the files."""
    base = os.path.join(work, dataset)
    stamp = base + ".ok"
    generator, cases, _ = DATASETS[dataset]
    cases = max(20, int(cases * scale)) // 10 * 10
    key = "%s %d" % (DATA_VERSION, cases)
    if os.path.exists(stamp) and open(stamp).read() == key:
        return
    log("generating %s (%d cases) ..." % (dataset, cases))
    started = time.time()
    names, columns, decimals = generator(cases)
    write_csv(base + ".csv", names, columns, decimals)
    np.save(base + ".npy", np.asarray(columns))
    run_checked([tools["rkstat"], "import", base + ".csv", base + ".rkd"])
    check_rkd(base + ".rkd", columns)
    np.asarray(columns).tofile(base + ".f64")
    run_checked(["Rscript", "--vanilla", os.path.join(BENCH, "workload_rds.R"), base + ".f64", str(cases),
                 ",".join(names), base + ".rds"])
    os.remove(base + ".f64")
    formats = " ".join("%s F16.%d" % (name, d) for name, d in zip(names, decimals))
    fill_template("workload_import.sps", base + "_import.sps", CSV=base + ".csv", SAV=base + ".sav",
                  VARIABLES=formats)
    run_checked(["pspp", "-o", base + "_import.txt", base + "_import.sps"])
    check_sav(base + ".sav", columns)
    with open(stamp, "w") as f:
        f.write(key)
    log("  %s ready in %.0f s" % (dataset, time.time() - started))


def time_runs(command, runs, stdout_path, warm, environment=None):
    """Median and spread of the wall time of whole processes, and peak RSS."""
    LOAD_SAMPLES.append(os.getloadavg()[0])
    with open(warm, "rb") as f:  # the input in the page cache, as for every tool
        while f.read(1 << 24):
            pass
    seconds, rss = [], []
    rss_file = stdout_path + ".rss"
    for _ in range(runs):
        with open(stdout_path, "wb") as out:
            started = time.perf_counter()
            result = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", rss_file] + command,
                                    stdout=out, stderr=subprocess.PIPE, env=environment)
            elapsed = time.perf_counter() - started
        if result.returncode != 0:
            log("  FAILED (%d): %s\n%s" % (result.returncode, " ".join(command),
                                          result.stderr.decode(errors="replace")[-1500:]))
            return None
        seconds.append(elapsed)
        rss.append(int(open(rss_file).read().split()[-1]))
    return dict(median=statistics.median(seconds), low=min(seconds), high=max(seconds),
                runs=seconds, rss_kb=max(rss))


# ---------------------------------------------------------------- result checks
# Each reader returns {key: (value, decimals printed)}.

def number(text):
    text = text.strip().rstrip("%")
    decimals = len(text.split(".")[1]) if "." in text else 0
    return float(text), decimals


def engine_values(workload, out_path):
    lines = open(out_path, errors="replace").read().splitlines()
    values = {}
    if workload == "W1":
        section = None
        for line in lines:
            if "NAME     CASES" in line:
                section = 1
            elif "Deviation      Median" in line:
                section = 2
            elif "Range    SKEWNESS" in line:
                section = 3
            elif section and re.match(r"^\s+\d+\s", line):
                t = line.split()
                if t[0] == "1" and section == 1:
                    values["x1.mean"] = number(t[3])
                if t[0] == "1" and section == 2:
                    values["x1.median"] = number(t[2])
                if t[0] == "2" and section == 2:
                    values["x2.q3"] = number(t[4])
                if t[0] == "2" and section == 3:
                    values["x2.kurtosis"] = number(t[3])
    elif workload == "W2":
        variable, counts = None, {}
        for line in lines:
            m = re.match(r"^ \*\s+(\S+)\s+\*$", line)
            if m:
                variable = m.group(1)
                counts[variable] = 0
            elif variable and re.match(r"^\s+-?\d+\.\d\d\s+\d+\s+\d+\.\d\d\s+\d+\.\d\d$", line):
                t = line.split()
                counts[variable] += 1
                if variable == "b" and t[0] == "7.00":
                    values["b.count7"] = number(t[1])
                    values["b.cumulative7"] = number(t[3])
        for variable, k in counts.items():
            values[variable + ".categories"] = (float(k), 0)
    elif workload == "W3":
        for line in lines:
            t = line.split()
            if t and t[0] == "Pearson":
                values["pearson"] = number(t[1])
            elif t and t[0] == "Likelihood":
                values["likelihood"] = number(t[1])
    elif workload == "W4":
        for line in lines:
            t = line.split()
            if len(t) == 6 and t[0] == "g":
                values["ss_between"] = number(t[1])
                values["f"] = number(t[4])
    elif workload == "W5":
        for line in lines:
            t = line.split()
            if t and t[0] == "EQUAL":
                values["t_pooled"] = number(t[1])
            elif t and t[0] == "UNEQUAL":
                values["t_welch"] = number(t[1])
                values["df_welch"] = number(t[2])
    elif workload in ("W6L", "W6P"):
        matrix, columns = {}, []
        for line in lines:
            t = line.split()
            if t and all(re.fullmatch(r"x\d+", w) for w in t):
                columns = t
            elif columns and len(t) >= 2 and re.fullmatch(r"x\d+", t[0]):
                for name, cell in zip(columns, t[1:]):
                    matrix[(t[0], name)] = number(cell)
            m = re.search(r"used in this analysis are \.\.\s*(\d+)$", line)
            if m and workload == "W6L":
                values["cases"] = (float(m.group(1)), 0)
        values["cov_2_1"] = matrix.get(("x2", "x1"))
        values["cov_50_49"] = matrix.get(("x50", "x49"))
    return {k: v for k, v in values.items() if v is not None}


def peer_values(stdout_path):
    values = {}
    for line in open(stdout_path, errors="replace"):
        t = line.split()
        if len(t) == 3 and t[0] == "CHECK":
            values[t[1]] = (float(t[2]), 12)
    return values


def scale_peer_time(timing, stdout_path):
    """A peer that cannot finish the whole workload in reasonable time runs a
    prefix of the cases and prints "SCALED factor note": its times are
    multiplied by the factor (the work of the whole data over the prefix's)
    and the cell is marked with the note."""
    for line in open(stdout_path, errors="replace"):
        t = line.strip().strip('"').split(None, 2)  # PSPP's output file quotes a HOST command's line
        if len(t) >= 2 and t[0] == "SCALED":
            factor = float(t[1])
            timing.update(median=timing["median"] * factor, low=timing["low"] * factor,
                          high=timing["high"] * factor, scaled=t[2].strip() if len(t) > 2 else "scaled")
            return


def pspp_tables(path):
    tables, name, rows = {}, None, []
    for line in open(path, errors="replace").read().splitlines() + [""]:
        if line.startswith("Table: "):
            name, rows = line[len("Table: "):], []
        elif not line.strip():
            if name:
                tables.setdefault(name, []).append(rows)
            name = None
        elif name:
            rows.append(next(csv.reader([line])))
    return tables


def pspp_values(workload, path):
    tables = pspp_tables(path)
    values = {}
    try:
        if workload == "W1":
            rows = tables["Statistics"][0]
            head = rows[0]
            x1, x2 = head.index("x1"), head.index("x2")
            label = None
            for row in rows[1:]:
                label = row[0] or label
                if label == "Mean":
                    values["x1.mean"] = number(row[x1])
                elif label == "Kurtosis":
                    values["x2.kurtosis"] = number(row[x2])
                elif label == "Percentiles" and row[1] == "50":
                    values["x1.median"] = number(row[x1])
                elif label == "Percentiles" and row[1] == "75":
                    values["x2.q3"] = number(row[x2])
        elif workload == "W2":
            for variable in ("a", "b"):
                rows = tables[variable][0]
                valid = [r for r in rows[1:] if r[0] in ("Valid", "") and r[1]]
                values[variable + ".categories"] = (float(len(valid)), 0)
                if variable == "b":
                    row = next(r for r in valid if float(r[1]) == 7.0)
                    values["b.count7"] = number(row[2])
                    values["b.cumulative7"] = number(row[5])
        elif workload == "W3":
            for row in tables["Chi-Square Tests"][0]:
                if row[0] == "Pearson Chi-Square":
                    values["pearson"] = number(row[1])
                elif row[0] == "Likelihood Ratio":
                    values["likelihood"] = number(row[1])
        elif workload == "W4":
            for row in tables["ANOVA"][0]:
                if row[1] == "Between Groups":
                    values["ss_between"] = number(row[2])
                    values["f"] = number(row[5])
        elif workload == "W5":
            for row in tables["Independent Samples Test"][0]:
                if row[1] == "Equal variances assumed":
                    values["t_pooled"] = number(row[4])
                elif row[1] == "Equal variances not assumed":
                    values["t_welch"] = number(row[4])
                    values["df_welch"] = number(row[5])
        elif workload in ("W6L", "W6P"):
            rows = tables["Correlations"][0]
            head = rows[0]
            variable = None
            for row in rows[1:]:
                variable = row[0] or variable
                if row[1] == "Covariance" and variable == "x2":
                    values["cov_2_1"] = number(row[head.index("x1")])
                elif row[1] == "Covariance" and variable == "x50":
                    values["cov_50_49"] = number(row[head.index("x49")])
    except (KeyError, ValueError, IndexError, StopIteration):
        pass
    return values


def agree(a, b):
    """Equal within what each side printed (half a unit of its last digit)."""
    (x, dx), (y, dy) = a, b
    if dx == 0 and dy == 0:  # counts
        return x == y
    return abs(x - y) <= 0.5 * 10.0 ** -dx + 0.5 * 10.0 ** -dy + 1e-9 * max(abs(x), abs(y))


# ---------------------------------------------------------------- report

def machine():
    cpu = "unknown CPU"
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            cpu = line.split(":", 1)[1].strip()
            break
    memory = 0
    for line in open("/proc/meminfo"):
        if line.startswith("MemTotal"):
            memory = int(line.split()[1]) / 1024 / 1024
    system = platform.platform()
    if os.path.exists("/etc/os-release"):
        for line in open("/etc/os-release"):
            if line.startswith("PRETTY_NAME="):
                system = line.split("=", 1)[1].strip().strip('"')
    return "%s, %d cores, %.1f GiB memory, %s" % (cpu, os.cpu_count(), memory, system)


# The peers run with the machine's OpenBLAS tuning variables removed together
# (a machine may pin OPENBLAS_CORETYPE and OPENBLAS_L2_SIZE for other work);
# OpenBLAS then picks its kernel for this processor and uses every core.
OPENBLAS_PINS = ("OPENBLAS_CORETYPE", "OPENBLAS_L2_SIZE")
PEER_ENVIRONMENT = {k: v for k, v in os.environ.items() if k not in OPENBLAS_PINS}


def blas_of_peers():
    """Which BLAS each peer loads, its kernel and its threads, asked of the
    peers themselves under the environment they are timed in."""
    def ask(command):
        result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=PEER_ENVIRONMENT)
        return result.stdout.decode(errors="replace").strip()
    numpy = ask(["/usr/bin/python3", "-c",
                 "import numpy, threadpoolctl\n"
                 "for i in threadpoolctl.threadpool_info():\n"
                 "    if i.get('user_api') == 'blas':\n"
                 "        print('%s %s, %s kernel, %d threads' % (i.get('internal_api'), i.get('version'),"
                 " i.get('architecture'), i.get('num_threads')))"])
    r = ask(["Rscript", "--vanilla", "-e", "s <- sessionInfo(); cat(basename(dirname(s$BLAS)), basename(s$BLAS))"])
    pins = ", ".join("%s=%s" % (k, os.environ[k]) for k in OPENBLAS_PINS if k in os.environ)
    unset = ("the machine sets %s; both are unset for the peers' commands alone, " % pins) if pins else ""
    return ("%sNumPy/SciPy/statsmodels: %s; R: %s (the same OpenBLAS library through Debian's "
            "alternatives, all cores); PSPP uses no BLAS for these procedures"
            % (unset, numpy.replace("\n", "; ") or "unknown", r or "unknown"))


def versions():
    def first_line(command):
        try:
            return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT).stdout.decode().splitlines()[0]
        except (OSError, IndexError):
            return "missing"
    stack = subprocess.run(["/usr/bin/python3", "-c", "import numpy, scipy, statsmodels; "
                            "print(numpy.__version__, scipy.__version__, statsmodels.__version__)"],
                           stdout=subprocess.PIPE).stdout.decode().split() + ["?"] * 3
    r = first_line(["R", "--version"]).split(" (")[0]
    return "%s; NumPy %s, SciPy %s, statsmodels %s (system python3); %s.  \nBLAS: %s" % (
        r, stack[0], stack[1], stack[2], first_line(["pspp", "--version"]), blas_of_peers())


def load():
    return "load average %.2f, %.2f, %.2f" % os.getloadavg()


LOAD_SAMPLES = []  # the 1-minute load average before each tool's runs


def seconds_cell(t):
    if t is None:
        return "failed"
    spread = (t["high"] - t["low"]) / 2 / t["median"] * 100 if t["median"] > 0 else 0
    mark = " (%s)" % t["scaled"] if t.get("scaled") else ""
    return "%.2f ±%.0f%%%s" % (t["median"], spread, mark)


def ratio(peer, engine):
    if peer is None or engine is None or engine["median"] <= 0:
        return "n/a"
    return "%.1fx" % (peer["median"] / engine["median"])


def target_notes(workload, timings):
    engine = timings.get("engine")
    missed = []
    for peer in PEERS:
        t = timings.get(peer)
        if t is None or engine is None:
            continue
        need = 3.0 if peer == "SciPy" and workload in SCIPY_3X else TARGETS[peer]
        got = t["median"] / engine["median"]
        if got < need:
            missed.append("%s %.1fx < %gx" % (peer, got, need))
    return "met" if not missed else "missed: " + "; ".join(missed)


def build_report(results, args, started, finished, load_before, load_after, elapsed):
    out = io.StringIO()
    w = out.write
    w("Date: %s to %s (%s).  \n" % (started.strftime("%Y-%m-%d %H:%M"), finished.strftime("%H:%M"),
                                     "whole bench/run %.0f min" % (elapsed / 60)))
    w("Machine: %s.  \n" % machine())
    w("Load: %s before timing, %s after; the 1-minute average ranged from %.2f to %.2f while "
      "timing (other processes share the cores; see the spread).  \n"
      % (load_before, load_after, min(LOAD_SAMPLES, default=0), max(LOAD_SAMPLES, default=0)))
    w("Peers: %s.  \n" % versions())
    w("Engine: `%s` build of this tree.\n\n" % args.build_type)
    runs = "median of %d runs" % args.runs
    if args.peer_runs > 0 and args.peer_runs != args.runs:
        runs = "median of %d runs of the engine and the floor, %d of each peer" % (args.runs, args.peer_runs)
    w("Wall time of whole processes, %s (± half the range as a share of the median), "
      "input file in the page cache. Ratios are the peer's median over the engine's; the floor is "
      "`bench/read_columns` (open the .rkd file, read each column once). A peer marked with a "
      "prefix ran the first cases only, its time scaled to the whole data as the mark says, and "
      "its results are not compared.\n\n" % runs)
    w("Each tool reads its own native file: the engine `rkstat run` on the .rkd file, R `readRDS` of an "
      "uncompressed .rds (base R: `quantile` type 7, `table`, `chisq.test`, `aov`, `t.test`, `cov`), "
      "SciPy/NumPy `np.load` of a .npy (`np.percentile`, `np.unique`, `scipy.stats`; pairwise "
      "covariances from three matrix products), PSPP `GET FILE` of an uncompressed .sav and one "
      "procedure (FREQUENCIES, CROSSTABS, ONEWAY, T-TEST, CORRELATIONS). Every tool computes the "
      "statistics the engine prints, including each group's summary in W4 and W5, and writes its "
      "results to a file. W7-W12 add regression (R `lm` + `sandwich::vcovHC`, statsmodels OLS with "
      "HC3, PSPP REGRESSION), forward stepwise (R `step`, a NumPy loop by F), correlations and "
      "eigenvalues (`cor` + `eigen`, `corrcoef` + `eigvalsh`, PSPP FACTOR), the general linear model "
      "(R `lm` + `car::Anova` type III, statsmodels `ols` + `anova_lm`, PSPP GLM), Kendall and "
      "Spearman correlations, the sign, Wilcoxon and Kolmogorov-Smirnov tests, Kruskal-Wallis and "
      "Friedman (`cor.test`, `wilcox.test`, `ks.test`, `kruskal.test`, `friedman.test`; "
      "`scipy.stats`; PSPP NPAR TESTS), EM (no packaged EM reproduces the engine's start and "
      "stopping rule, so an EM of our own in R and in NumPy) and regression imputation "
      "(`lm` + `predict`, `lstsq`). The CSV, .rkd, .rds, .npy and .sav files are checked to hold "
      "the same doubles.\n\n")
    w("| workload | engine s | R s | SciPy/NumPy s | PSPP s | floor s | R ÷ engine | SciPy ÷ engine "
      "| PSPP ÷ engine | engine ÷ floor | results agree | targets |\n")
    w("|---|---|---|---|---|---|---|---|---|---|---|---|\n")
    for item in results:
        t = item["timings"]
        w("| %s %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n" % (
            item["id"], item["title"], seconds_cell(t.get("engine")),
            *(seconds_cell(t.get(p)) if p in t else "not run" for p in PEERS),
            seconds_cell(t.get("floor")),
            *(ratio(t.get(p), t.get("engine")) for p in PEERS),
            ratio(t.get("engine"), t.get("floor")), item["agreement"], target_notes(item["id"], t)))
    w("\nTargets: each peer at least 3x the engine's time for R and PSPP, at least 1x for SciPy/NumPy "
      "(3x for %s). The engine's time over the plain read: aimed at 3x or less for the one-pass "
      "workloads (%s), 10x or less for W6P.\n\n" % (", ".join(sorted(SCIPY_3X, key=workload_order)),
                                                    ", ".join(ONE_PASS)))
    gaps = [(wid, peer, text) for (wid, peer), text in GAPS.items() if any(r["id"] == wid for r in results)]
    if gaps:
        w("Where a peer's statistics differ from the engine's:\n\n")
        for wid, peer, text in sorted(gaps):
            w("- %s, %s: %s.\n" % (wid, peer, text))
        w("\n")
    w("Peak resident memory (max RSS of the runs). The limit is twice the bytes of the columns the "
      "analysis needs at once (descriptive: two variables at a time, when memory allows; frequency: "
      "one variable at a time; the others: all their variables).\n\n")
    w("| workload | engine MB | columns at once MB | limit MB | engine ÷ columns | R MB | SciPy/NumPy MB "
      "| PSPP MB | floor MB |\n")
    w("|---|---|---|---|---|---|---|---|---|\n")
    for item in results:
        t = item["timings"]
        mb = lambda k: "%.0f" % (t[k]["rss_kb"] * 1024 / 1e6) if t.get(k) else "-"
        need = item["columns_bytes"] / 1e6
        engine_mb = t["engine"]["rss_kb"] * 1024 / 1e6 if t.get("engine") else None
        within = "" if not engine_mb else (" (within)" if engine_mb <= 2 * need else " (over)")
        w("| %s | %s | %.0f | %.0f | %s | %s | %s | %s | %s |\n" % (
            item["id"], mb("engine"), need, 2 * need,
            "%.2f%s" % (engine_mb / need, within) if engine_mb else "-",
            mb("R"), mb("SciPy"), mb("PSPP"), mb("floor")))
    w("\nResult checks (the engine's printed value against each peer's):\n\n")
    w("| workload | value | engine | R | SciPy/NumPy | PSPP |\n|---|---|---|---|---|---|\n")
    for item in results:
        for key, row in item["checks"].items():
            cells = []
            for p in ["engine"] + PEERS:
                v = row.get(p)
                cells.append("-" if v is None else ("%.*f" % (min(v[1], 6), v[0])))
            w("| %s | %s | %s |\n" % (item["id"], key, " | ".join(cells)))
    return out.getvalue()


def ratio_chart(results):
    """An SVG of the engine's time over each peer's, one row per workload, on a
    log scale: left of 1 the engine is faster; the dashed line at 1/3 is the
    target against R and PSPP."""
    colours = {"R": "#1f77b4", "SciPy": "#ff7f0e", "PSPP": "#2ca02c"}
    low, high = 1e-3, 10.0
    left, width, row, top = 190, 520, 14 * len(PEERS) + 8, 40
    height = top + row * len(results) + 40
    x = lambda r: left + width * (math.log10(min(max(r, low), high)) - math.log10(low)) / (
        math.log10(high) - math.log10(low))
    out = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" font-family="sans-serif" '
           'font-size="11">' % (left + width + 20, height),
           '<text x="%d" y="16" font-size="13">Engine time / peer time (log scale; below 1: engine faster)</text>'
           % left]
    for decade in range(-3, 2):
        out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#ccc"/>' % (
            x(10.0 ** decade), top - 6, x(10.0 ** decade), height - 30))
        out.append('<text x="%.1f" y="%d" text-anchor="middle">%g</text>' % (x(10.0 ** decade), height - 16,
                                                                            10.0 ** decade))
    out.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" stroke="#d62728" stroke-dasharray="4 3"/>' % (
        x(1 / 3), top - 6, x(1 / 3), height - 30))
    for i, item in enumerate(results):
        y0 = top + i * row
        out.append('<text x="%d" y="%d" text-anchor="end">%s</text>' % (left - 8, y0 + row / 2 + 2, item["id"]))
        engine = item["timings"].get("engine")
        for j, peer in enumerate(PEERS):
            t = item["timings"].get(peer)
            if not t or not engine or t["median"] <= 0:
                continue
            r = engine["median"] / t["median"]
            out.append('<rect x="%d" y="%d" width="%.1f" height="12" fill="%s"><title>%s %s: %.3g</title></rect>'
                       % (left, y0 + j * 14, max(x(r) - left, 1), colours[peer], item["id"], peer, r))
            if r < low:  # off the scale: say how far
                out.append('<text x="%d" y="%d">%s %.1e</text>' % (left + 4, y0 + j * 14 + 10, peer, r))
    for j, peer in enumerate(PEERS):
        out.append('<rect x="%d" y="%d" width="10" height="10" fill="%s"/><text x="%d" y="%d">%s</text>' % (
            left + 90 * j, 24, colours[peer], left + 90 * j + 14, 33, peer))
    out.append("</svg>\n")
    return "\n".join(out)


def record(report):
    path = os.path.join(BENCH, "RESULTS.md")
    text = open(path).read() if os.path.exists(path) else "# Benchmark results\n"
    section = "%s\n## The engine against R, SciPy/NumPy and PSPP (`bench/run`)\n\n%s%s\n" % (BEGIN, report, END)
    if BEGIN in text and END in text:
        text = text[:text.index(BEGIN)] + section + text[text.index(END) + len(END) + 1:]
    else:
        text = text.rstrip("\n") + "\n\n" + section
    with open(path, "w") as f:
        f.write(text)


# ---------------------------------------------------------------- main

def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--build-type", default="RelWithDebInfo")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--peer-runs", type=int, default=0,
                        help="timed runs of each peer (default: --runs); the engine and the floor get --runs")
    parser.add_argument("--only", default="")
    parser.add_argument("--peers", default=",".join(PEERS))
    parser.add_argument("--no-record", action="store_true")
    parser.add_argument("--scale", type=float, default=1.0, help=argparse.SUPPRESS)  # small data for testing
    args = parser.parse_args()
    begun = time.time()
    started = datetime.datetime.now()
    selected = [w for w in WORKLOADS if not args.only or w[0] in args.only.upper().split(",")]
    peers = [p for p in PEERS if p in args.peers.split(",")]
    work = os.path.join(BENCH, "scratch", "run" if args.scale == 1 else "run-scale-%g" % args.scale)
    os.makedirs(work, exist_ok=True)
    tools = {"rkstat": os.path.join(args.build, "rkstat"), "floor": os.path.join(args.build, "bench", "read_columns")}

    for dataset in dict.fromkeys(w[1] for w in selected):
        prepare(dataset, work, args.scale, tools)

    load_before = load()
    log("timing, %s" % load_before)
    results = []
    for wid, dataset, title, engine_args, run_name, family in selected:
        base = os.path.join(work, dataset)
        prefix = os.path.join(work, wid.lower())
        module = FAMILIES[family]
        suffix = "_" + family if family else ""
        engine_runs = engine_args if isinstance(engine_args[0], list) else [engine_args]
        # "@WORK@" in an engine argument stands for the scratch directory (where
        # the imputations write their filled copies, so that none lands in the tree).
        engine_commands = [[tools["rkstat"], "run", a[0], base + ".rkd", "--run", run_name] +
                           [w.replace("@WORK@", work) for w in a[1:]] for a in engine_runs]
        commands = {
            "engine": engine_commands[0] if len(engine_commands) == 1 else
            ["sh", "-c", " && ".join(" ".join(shlex.quote(w) for w in c) for c in engine_commands)],
            "floor": [tools["floor"], base + ".rkd"],
            "R": ["Rscript", "--vanilla", os.path.join(BENCH, "peer_r%s.R" % suffix), wid, base + ".rds",
                  prefix + "_r.txt"],
            "SciPy": ["/usr/bin/python3", os.path.join(BENCH, "peer_numpy%s.py" % suffix), wid, base + ".npy",
                      prefix + "_scipy.txt"],
            "PSPP": ["pspp", "-o", prefix + "_pspp.csv", prefix + ".sps"],
        }
        warm = {"engine": base + ".rkd", "floor": base + ".rkd", "R": base + ".rds", "SciPy": base + ".npy",
                "PSPP": base + ".sav"}
        tools_here = ["engine", "floor"] + peers
        n = DATASETS[dataset][1] if args.scale == 1 else max(20, int(DATASETS[dataset][1] * args.scale)) // 10 * 10
        if os.path.exists(os.path.join(BENCH, "peer_pspp_%s.sps" % wid.lower())):
            fill_template("peer_pspp_%s.sps" % wid.lower(), prefix + ".sps", DATA=base + ".sav", CASES=str(n))
        else:
            tools_here = [t for t in tools_here if t != "PSPP"]  # PSPP has no such procedure
        timings = {}
        for tool in tools_here:
            runs = args.peer_runs if tool in PEERS and args.peer_runs > 0 else args.runs
            log("%s %s: %d runs ..." % (wid, tool, runs))
            timings[tool] = time_runs(commands[tool], runs, "%s_%s.stdout" % (prefix, tool.lower()), warm[tool],
                                      PEER_ENVIRONMENT if tool in PEERS else None)
            if timings[tool]:
                log("  median %.2f s, peak RSS %.0f MB" % (timings[tool]["median"], timings[tool]["rss_kb"] / 1024))

        found = {"engine": {}}
        if timings.get("engine"):
            found["engine"] = (engine_values(wid, "%s_%s.out" % (base, run_name)) if module is None else
                               module.engine_values(wid, open("%s_%s.out" % (base, run_name), errors="replace")
                                                    .read().splitlines()))
        for peer in ("R", "SciPy"):
            if peer in peers and timings.get(peer):
                stdout_path = "%s_%s.stdout" % (prefix, peer.lower())
                found[peer] = peer_values(stdout_path)
                scale_peer_time(timings[peer], stdout_path)
                if timings[peer].get("scaled"):
                    found[peer] = {}  # a prefix's results are not the whole data's
        if "PSPP" in timings and timings.get("PSPP"):
            found["PSPP"] = (pspp_values(wid, prefix + "_pspp.csv") if module is None else
                             module.pspp_values(wid, pspp_tables(prefix + "_pspp.csv")))
            scale_peer_time(timings["PSPP"], prefix + "_pspp.csv")  # PSPP's syntax may run a prefix
            if timings["PSPP"].get("scaled"):
                found["PSPP"] = {}
        checks, compared, failed = {}, 0, []
        for key, value in found["engine"].items():
            checks[key] = {"engine": value}
            for peer in peers:
                other = found.get(peer, {}).get(key)
                if other is None:
                    continue
                checks[key][peer] = other
                compared += 1
                if not agree(value, other):
                    failed.append("%s %s" % (peer, key))
        if not found["engine"]:
            agreement = "no engine values"
        elif failed:
            agreement = "DIFFER: " + ", ".join(failed)
        else:
            agreement = "yes (%d values)" % compared
        log("  %s results agree: %s" % (wid, agreement))
        results.append(dict(id=wid, title=title, timings=timings, checks=checks, agreement=agreement,
                            columns_bytes=8 * n * DATASETS[dataset][2]))
    load_after = load()
    report = build_report(results, args, started, datetime.datetime.now(), load_before, load_after,
                          time.time() - begun)
    print(report)
    if args.no_record or args.only or args.scale != 1 or set(peers) != set(PEERS):
        log("bench/RESULTS.md left as it was (partial run)")
    else:
        record(report)
        with open(os.path.join(BENCH, "ratios.svg"), "w") as f:
            f.write(ratio_chart(results))
        log("table written to bench/RESULTS.md, chart to bench/ratios.svg")


if __name__ == "__main__":
    main()
