;[Setting]
[Setting]
;Time=5
  ; Tune1=10
Time=6
