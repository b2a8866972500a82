Time=5
Tune1=10
[Setting]
Volume1=1
