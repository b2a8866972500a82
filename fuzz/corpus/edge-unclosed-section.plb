[Setting
Time=5
[Setting]x=1
Time=9
