[Settings]
Time=10
