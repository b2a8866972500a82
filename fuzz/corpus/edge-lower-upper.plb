[sEtTiNg]
TUNE1=33
time=4
waveform1=2
MUTE1=-1
