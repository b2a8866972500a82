[Setting]
Tune1=abc
Volume1=  42xyz
Bend1=+
Decay1=-
Time=fifty
