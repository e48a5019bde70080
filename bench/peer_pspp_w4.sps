* bench/run, PSPP peer of W4: group descriptives and the one-way ANOVA table.
GET FILE='@DATA@'.
ONEWAY /VARIABLES=y BY g /STATISTICS=DESCRIPTIVES.
