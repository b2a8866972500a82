[a{]
k=1
[Setting]
vOLUME1=7
