* bench/run, PSPP peer of W6 pairwise: covariances (with the correlations and
* cross-products CORRELATIONS prints beside them) over each pair's cases.
GET FILE='@DATA@'.
CORRELATIONS /VARIABLES=x1 TO x50 /MISSING=PAIRWISE /STATISTICS=XPROD.
