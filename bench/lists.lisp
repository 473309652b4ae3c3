; Allocation benchmark: build, reverse and sum lists of 100,000 integers, 20 rounds.
; The integers cycle through 0..99 so that every sum stays a small integer (4,950,000).
(define (build-list _n)
  (let ((_l nil) (_i 0) (_k 0))
    (while (< _i _n)
      (set! _l (cons _k _l))
      (set! _k (+ _k 1))
      (when (= _k 100) (set! _k 0))
      (set! _i (+ _i 1)))
    _l))

(define (reverse-list _l)
  (let ((_r nil))
    (while _l
      (set! _r (cons (car _l) _r))
      (set! _l (cdr _l)))
    _r))

(define (sum-list _l)
  (let ((_s 0))
    (while _l
      (set! _s (+ _s (car _l)))
      (set! _l (cdr _l)))
    _s))

; The number of rounds whose sum came out right.
(define (run-rounds _rounds)
  (let ((_good 0))
    (repeat _rounds
      (when (= (sum-list (reverse-list (build-list 100000))) 4950000)
        (set! _good (+ _good 1))))
    _good))

(princ (run-rounds 20))
(new-line)
