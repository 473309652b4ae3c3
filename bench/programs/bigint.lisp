; The factorial of 1000 and the length of its decimal text, 20 times.
(define (fact _n) (let ((_r 1)) (while (> _n 1) (set! _r (* _r _n)) (set! _n (- _n 1))) _r))
(define (run _k) (let ((_len 0)) (repeat _k (set! _len (string-length (number->string (fact 1000))))) _len))
(princ (run 20))
