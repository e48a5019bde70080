* bench/run, PSPP peer of W1: sum, mean, standard deviation, range, minimum,
* maximum, skewness, kurtosis and quartiles of each variable.
GET FILE='@DATA@'.
FREQUENCIES /VARIABLES=x1 TO x10 /FORMAT=NOTABLE
  /STATISTICS=MEAN STDDEV MINIMUM MAXIMUM RANGE SUM SKEWNESS KURTOSIS /PERCENTILES=25 50 75.
