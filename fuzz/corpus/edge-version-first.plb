[Version]
Version=99
[Setting]
Time=12
