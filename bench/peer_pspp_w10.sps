* bench/run, PSPP peer of W10: the full factorial a*b*c with type III sums of
* squares (GLM takes no covariates, so x1 and x2 are left out).
GET FILE='@DATA@'.
GLM y BY a b c /METHOD=SSTYPE(3).
