[setting]
time=10
