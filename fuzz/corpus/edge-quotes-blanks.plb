[ Setting ]
  Tune1 = "70" 
DeTune1='40'
Bend1="30
Volume1=	 9 	
Time = ''
Attack1=""
