; Build, reverse and sum lists of 100,000 integers, 20 times.
(define (build _n)
  (let ((_l nil) (_j 0))
    (repeat _n
      (set! _l (cons _j _l))
      (set! _j (if (= _j 99) 0 (+ _j 1))))
    _l))
(define (sum _l) (let ((_s 0)) (while _l (set! _s (+ _s (car _l))) (set! _l (cdr _l))) _s))
(define (run _k) (let ((_total 0)) (repeat _k (set! _total (+ _total (sum (reverse (build 100000)))))) _total))
(princ (run 20))
