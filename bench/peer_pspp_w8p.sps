* bench/run, PSPP peer of W8P: sign and Wilcoxon signed-rank tests of the pair
* (PSPP has no two-sample Kolmogorov-Smirnov test).
GET FILE='@DATA@'.
NPAR TESTS /SIGN=y WITH x (PAIRED) /WILCOXON=y WITH x (PAIRED).
