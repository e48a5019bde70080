* bench/run, PSPP peer of W6 listwise: covariances (with the correlations and
* cross-products CORRELATIONS prints beside them) of complete cases.
GET FILE='@DATA@'.
CORRELATIONS /VARIABLES=x1 TO x50 /MISSING=LISTWISE /STATISTICS=XPROD.
