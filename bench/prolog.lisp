; Naive reverse of a 30-element list, 2000 times (about 496 logical inferences each).
; Run with: time build-rel/velora --script bench/prolog.lisp

(defclause (app nil _l _l))
(defclause (app (_h . _t) _l (_h . _r)) (app _t _l _r))
(defclause (nrev nil nil))
(defclause (nrev (_h . _t) _r) (nrev _t _rt) (app _rt (list _h) _r))

(define (numbers _n)
  (let ((_l nil))
    (while (> _n 0) (set! _l (cons _n _l)) (set! _n (- _n 1)))
    _l))

(define (bench-nrev _times)
  (let ((_list (numbers 30)) (_ok 0))
    (repeat _times
      (when (nrev _list _r) (set! _ok (+ _ok 1)))
      (set! _r (void)))
    _ok))

(define Solved (bench-nrev 2000))
(prin "nrev30 x 2000 solved: ") (princ Solved)
(when (not (= Solved 2000)) (error "nrev benchmark failed"))
