[Setting]
Time=
