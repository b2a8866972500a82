; One square-wave carrier at 880 Hz, full volume, straight decay to
; the end: its first samples are +/-0.970592 of full scale.
[Setting]
Volume1=100
Attack1=0
Decay1=100
DecayCurve1=50
WaveForm1=2
Time=50
