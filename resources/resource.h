// Resource ids of PlimbarMaker. One name per id, in the order the main
// dialog lists its controls; shared by the .rc file, the program and its
// tests.
#ifndef PLIMBAR_RESOURCES_RESOURCE_H
#define PLIMBAR_RESOURCES_RESOURCE_H

// Dialogs, menu, icon.
#define IDD_MAIN 101
#define IDI_APP 103
#define IDR_MAIN_MENU 104
#define IDD_ABOUT 105
#define IDR_ACCELERATORS 107

// Frames holding the three graph views.
#define IDC_VOLUME_FRAME 1022
#define IDC_PITCH_FRAME 1021
#define IDC_WAVE_FRAME 1003

// Parameter rows: scroll bar and value display of each parameter.
#define IDC_VOLUME_BAR 1006
#define IDC_VOLUME_VALUE 1024
#define IDC_ATTACK_BAR 1034
#define IDC_ATTACK_VALUE 1035
#define IDC_ATTACKCURVE_BAR 1036
#define IDC_ATTACKCURVE_VALUE 1037
#define IDC_DECAY_BAR 1012
#define IDC_DECAY_VALUE 1033
#define IDC_DECAYCURVE_BAR 1005
#define IDC_DECAYCURVE_VALUE 1027
#define IDC_TUNE_BAR 1000
#define IDC_TUNE_VALUE 1019
#define IDC_BEND_BAR 1002
#define IDC_BEND_VALUE 1030
#define IDC_BENDCURVE_BAR 1008
#define IDC_BENDCURVE_VALUE 1031
#define IDC_TIME_BAR 1001
#define IDC_TIME_VALUE 1020
#define IDC_DETUNE_BAR 1007
#define IDC_DETUNE_VALUE 1038

// Oscillator buttons, in the order of the oscillators OSC1..OSC9.
#define IDC_OSC1 1015
#define IDC_OSC2 1023
#define IDC_OSC3 1025
#define IDC_OSC4 1026
#define IDC_OSC5 1028
#define IDC_OSC6 1029
#define IDC_OSC7 1016
#define IDC_OSC8 1017
#define IDC_OSC9 1018

#define IDC_MUTE 1032
#define IDC_WAVEFORM 1040
#define IDC_TEST 1004
// The "終了" button is IDCANCEL (2).

// Menu commands.
#define IDM_OPEN 40002
#define IDM_SAVE 40003
#define IDM_SAVE_AS 40004
#define IDM_EXIT 40005
#define IDM_SAVE_WAV 40006
#define IDM_ABOUT 40007
#define IDM_RATE_44K 40009
#define IDM_RATE_22K 40010
#define IDM_RATE_11K 40011
#define IDM_BITS_16 40012
#define IDM_BITS_8 40013
#define IDM_COPY 40014
#define IDM_PASTE 40015
#define IDM_HELP 40017
// Commands of keys alone, with no menu item.
#define IDM_UNDO 40018
#define IDM_REDO 40019
#define IDM_MUTATE_MEDIUM 40020
#define IDM_MUTATE_LARGE 40021

// String table: the waveform names, in the order of the WaveForm values.
#define IDS_SINE 1
#define IDS_SAWTOOTH 2
#define IDS_SQUARE 3
#define IDS_NOISE 4

#endif  // PLIMBAR_RESOURCES_RESOURCE_H
