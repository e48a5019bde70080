* bench/run: reads a workload's CSV and saves it as an uncompressed system file,
* so that its cases can be compared byte for byte with the generated doubles.
GET DATA /TYPE=TXT /FILE='@CSV@' /ARRANGEMENT=DELIMITED /DELCASE=LINE /FIRSTCASE=2
  /DELIMITERS=',' /VARIABLES=@VARIABLES@.
SAVE OUTFILE='@SAV@' /UNCOMPRESSED.
