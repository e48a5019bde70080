* bench/run, PSPP peer of W2: frequency tables with counts and percentages.
GET FILE='@DATA@'.
FREQUENCIES /VARIABLES=a b /FORMAT=AVALUE /STATISTICS=NONE.
