; Sort 20,000 numbers with a Lisp predicate, 5 times.
(define (numbers _n)
  (let ((_l nil) (_x 1))
    (repeat _n (set! _x (remainder (+ (* _x 75) 74) 65537)) (set! _l (cons _x _l)))
    _l))
(define data (numbers 20000))
(define (run _k) (let ((_s nil)) (repeat _k (set! _s (sort (lambda (_a _b) (< _a _b)) data))) _s))
(define sorted (run 5))
(princ (list (car sorted) (car (last-pair sorted))))
