; Truth values and the equality predicates.

(check (list (true) (false)) '(t ()))
(check (list (boolean? t) (boolean? ()) (boolean? 0) (boolean? 'true)) '(t t () ()))
(check (list (not ()) (not 0) (not t) (null? ()) (null? '(1))) '(t () () t ()))

; eq? and neq? compare identity.
(define L12 (list 1 2))
(check (list (eq? 'a 'a) (eq? 3 3) (eq? L12 L12) (eq? L12 (list 1 2)) (eq? "ab" "ab")) '(t t t () ()))
(check (list (neq? 'a 'a) (neq? L12 (list 1 2)) (neq? 1 2)) '(() t t))

; eqv?: numbers by value, otherwise identity.
(check (list (eqv? 2 2.0) (eqv? 2.0 2) (eqv? 1.5 1.5) (eqv? 2 3) (eqv? -7 -7.0)) '(t t t () t))
(check (list (eqv? 'a 'a) (eqv? "a" "a") (eqv? L12 (list 1 2)) (eqv? () ()) (eqv? 1 'a)) '(t () () t ()))

; equal?: numbers.
(check (list (equal? 1 1.0) (equal? 1.0 1) (equal? 1 2) (equal? 2.5 2.5) (equal? 2.5 2) (equal? 0 -0.0))
       '(t t () t () t))
(check (list (equal? 1 "1") (equal? 1.0 '1.0) (equal? 1 '(1))) '(() t ()))

; equal?: strings and symbols.
(check (list (equal? "abc" "abc") (equal? "abc" 'abc) (equal? 'abc "abc") (equal? 'abc 'abd) (equal? 'abc 'abc))
       '(t t t () t))
(check (list (equal? "ab" "abc") (equal? "" "") (equal? "abc" 'abd) (equal? "A" "a") (equal? 'a 1))
       '(() t () () ()))

; equal?: pairs, through cars and cdrs.
(check (list (equal? '(1 (2 "x") . 3) (list 1 (list 2 "x") . (3))) (equal? '(1 2) '(1 2 3)) (equal? '(1 2 3) '(1 2))
             (equal? '() '()) (equal? '(1) '()) (equal? '() '(1)))
       '(() () () t () ()))
(check (list (equal? '(1 (2 "x") . 3) (cons 1 (cons (list 2 "x") 3))) (equal? '(1 . 2) '(1.0 . 2.0))
             (equal? '("abc" (b)) '(abc ("b"))) (equal? '((1 2) 3) '((1 2) 4)))
       '(t t t ()))
(check (list (equal? '(a) 'a) (equal? 'a '(a))) '(() ()))

; Kinds of procedures.
(define (a-function _x) _x)
(check (list (function? a-function) (function? (lambda (_x) _x)) (function? car) (function? 'car)) '(t t () ()))
(check (list (special? catch) (special? car) (special? a-function)) '(t () ()))
(check (list (procedure? a-function) (procedure? car) (procedure? catch) (procedure? 'car) (procedure? 1)
             (procedure? '(lambda (_x) _x)))
       '(t t t () () ()))

; Deep structures compare; structures circular through their cars raise an error.
(define (nest _depth)
  (let ((_v ()))
    (for 1 _depth (lambda (_i) (set! _v (list _v))))
    _v))
(define Deep1 (nest 100000))
(define Deep2 (nest 100000))
(check (equal? Deep1 Deep2) t "deep lists compare without exhausting the stack")
(check (equal? (nest 100) (nest 100)) t)
(check (equal? (nest 100) (nest 101)) ())
(define Loop1 (list 1))
(set-car! Loop1 Loop1)
(define Loop2 (list 1))
(set-car! Loop2 Loop2)
(check-error 9 (lambda () (equal? Loop1 Loop2)) "circular through the car")
(check (equal? Loop1 Loop1) t "identical values are equal at once")
(define Ring1 (list 1 2))
(set-cdr! (cdr Ring1) Ring1)
(define Ring2 (list 1 2))
(set-cdr! (cdr Ring2) Ring2)
(check-error 2 (lambda () (equal? Ring1 Ring2)) "circular through the cdr")
(check (equal? Ring1 (list 1 2 1)) () "a circular list is not equal to a proper one")
