; A kick drum typed by hand: LF line ends, names in any case,
; blanks around '=', keys in no particular order, most of them missing.
[setting]
TIME = 25
tune1=40
bend1 = 10
Volume1=100
decay1=70
VOLUME2=35
Tune2=72
WaveForm2=2
mute3=1
DISTORTION9=12

[version]
version=20
