* bench/run, PSPP peer of W7: the regression with its ANOVA table, R-square and
* coefficients (ordinary errors only: REGRESSION has no HC3 errors), and the
* Durbin-Watson statistic from the saved residuals.
GET FILE='@DATA@'.
REGRESSION /VARIABLES=x1 TO x30 /DEPENDENT=y /METHOD=ENTER /STATISTICS=COEFF R ANOVA /SAVE=RESID.
COMPUTE e2 = RES1 * RES1.
COMPUTE d2 = (RES1 - LAG(RES1)) ** 2.
DESCRIPTIVES e2 d2 /STATISTICS=SUM.
