; Build a string by appending 5,000 short pieces, 10 times.
(define (build _n) (let ((_s "")) (repeat _n (set! _s (string-append _s "piece"))) _s))
(define (run _k) (let ((_total 0)) (repeat _k (set! _total (+ _total (string-length (build 5000))))) _total))
(princ (run 10))
