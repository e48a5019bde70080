* bench/run, PSPP peer of W10: the full factorial a*b*c with type III sums of
* squares (GLM takes no covariates, so x1 and x2 are left out). GLM takes about
* a millisecond a case with the interactions, so it runs the first 20,000
* cases and its times are scaled by the number of cases over 20,000 (its
* time grows linearly with the cases).
GET FILE='@DATA@'.
N OF CASES 20000.
GLM y BY a b c /METHOD=SSTYPE(3).
HOST COMMAND=['n=@CASES@; f=$(awk "BEGIN { print $n / 20000 }"); [ $n -le 20000 ] || echo "SCALED $f first 20,000 cases, time x $f"'].
