* bench/run, PSPP peer of W5: group statistics, pooled and unequal-variance t.
GET FILE='@DATA@'.
T-TEST GROUPS=g(1,2) /VARIABLES=y.
