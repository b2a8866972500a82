; All three carriers loud but muted: silence.
[Setting]
Volume1=100
Mute1=1
Volume4=100
WaveForm4=2
Mute4=1
Volume7=100
WaveForm7=3
Mute7=7
Time=10
