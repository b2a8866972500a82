[Setting]
Time=  7 steps
