[Setting]
[Version]
Version=20
