* bench/run, PSPP peer of W8G: Kruskal-Wallis of each variable across the 10
* groups, Friedman's test and Kendall's W of the five variables.
GET FILE='@DATA@'.
NPAR TESTS /KRUSKAL-WALLIS=v1 v2 v3 v4 v5 BY g(1,10) /FRIEDMAN=v1 v2 v3 v4 v5 /KENDALL=v1 v2 v3 v4 v5.
