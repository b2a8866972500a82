[Version]
Version=20
[Other]
Time=5
