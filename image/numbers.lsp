; Unit 1: the number tower.
(define (factorial _n) (if (< _n 2) 1 (* _n (factorial (- _n 1)))))
(say "30! = " (factorial 30))
(say "1/3 + 1/6 = " (+ 1/3 1/6))
(say "pi is about " 3.14159265358979)
(say "2 to the 100th = " (expt 2 100))
