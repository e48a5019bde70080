* bench/run, PSPP peer of W9: the correlation matrix and its eigenvalues (FACTOR
* extracts one principal component beside them, unrotated).
GET FILE='@DATA@'.
FACTOR /VARIABLES=v1 TO v100 /PRINT=CORRELATION INITIAL /EXTRACTION=PC /CRITERIA=FACTORS(1)
  /ROTATION=NOROTATE.
