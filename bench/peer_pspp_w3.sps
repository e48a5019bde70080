* bench/run, PSPP peer of W3: counts, the three percentages, expected counts and
* the chi-square tests.
GET FILE='@DATA@'.
CROSSTABS /TABLES=r BY c /CELLS=COUNT ROW COLUMN TOTAL EXPECTED /STATISTICS=CHISQ.
