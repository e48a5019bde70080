"""bench/run's workloads of the rank tests and missing-data procedures
(nonparametric tests, EM, regression imputation): see workload_bench.py for what a
family module holds."""
DATASETS = {}
WORKLOADS = []
GAPS = {}
SCIPY_3X = set()


def engine_values(workload, lines):
    return {}


def pspp_values(workload, tables):
    return {}
