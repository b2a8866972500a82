[Setting]
Tune1=20
tune1=30
TUNE1=40
Time=7
Time=8
