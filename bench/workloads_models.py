"""bench/run's workloads of the model-fitting analyses (regression, stepwise,
factor analysis, the general linear model): see workload_bench.py for what a
family module holds."""
DATASETS = {}
WORKLOADS = []
GAPS = {}
SCIPY_3X = set()


def engine_values(workload, lines):
    return {}


def pspp_values(workload, tables):
    return {}
