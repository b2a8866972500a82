[SETTING]
TIME=15
volume1=50
