[Setting]
Tune1=70
Time=5

Volume1=60