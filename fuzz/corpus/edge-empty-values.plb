[Setting]
Time=
Tune1=
Volume1=
Mute1=
=5
==
