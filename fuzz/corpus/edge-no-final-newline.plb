[Setting]
Tune1=70
Time=5