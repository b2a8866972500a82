[Setting]
Time=99999999
