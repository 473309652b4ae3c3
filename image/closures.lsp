; Unit 3: functions as values, non-local exits and errors that are caught.
(define (scale-all _factor _numbers) (map (lambda (_x) (* _x _factor)) _numbers))
(say "scaled by 3: " (scale-all 3 '(1 2 3 4)))
(say "catch and throw: "
     (catch 'done (for-each (lambda (_x) (when (> _x 2) (throw 'done _x))) '(1 2 3 4)) 'none))
(say "That was the demo. The launcher arrives with the window system.")
