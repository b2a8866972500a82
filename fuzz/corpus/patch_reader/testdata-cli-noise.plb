[Setting]
WaveForm1=3
Tune1=30
Decay1=60
Time=5
