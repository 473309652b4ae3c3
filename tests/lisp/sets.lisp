; Lists used as sets, with key functions and tests.

(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (car (cdr _c)) (car _c))) _cases))
(define (check-wrong-type-cases _cases)
  (for-each (lambda (_c)
              (check-error 2 (lambda () (eval (car _c))) (car _c))
              (check (error-value (lambda () (eval (car _c)))) (car (cdr _c)) (car _c)))
            _cases))

(define (first-of _l) (car _l))
; A test that is true when its first argument is below its second: it tells the argument order.
(define (below? _a _b) (< _a _b))

(check-cases
 '(((make-set '(1 2 1 3 2)) (1 2 3))
   ((make-set ()) ())
   ((make-set '(a)) (a))
   ((make-set '(x x x x)) (x))
   ((make-set '((1 2) (1 2) (3))) ((1 2) (3)))
   ((make-set '((a 1) (b 2) (a 3) (b 4)) first-of) ((a 1) (b 2)))
   ((make-set '(3 1 4 2 5) nil below?) (3 1))
   ((make-set '(1 1.0 2)) (1 2))
   ((make-set '(1 1.0 2) nil eq?) (1 1.0 2))
   ((union '(1 2) '(2 3)) (1 2 3))
   ((union () '(1 1 2)) (1 2))
   ((union '(1 1) ()) (1))
   ((union () ()) ())
   ((union '((a 1)) '((b 2) (a 3)) first-of) ((a 1) (b 2)))
   ((difference '(1 2 3) '(2)) (1 3))
   ((difference '(1 2) '(1 2)) ())
   ((difference () '(1)) ())
   ((difference '((a 1) (b 2)) '((b 9)) first-of) ((a 1)))
   ((difference '(1 5) '(3) nil below?) (5))
   ((intersection '(1 2 3) '(3 1)) (1 3))
   ((intersection '(1 2) ()) ())
   ((intersection '((a 1) (b 2)) '((b 9)) first-of) ((b 2)))
   ((intersection '(1 5) '(3) nil below?) (1))
   ((include? '(1 2) '(2 1 3)) t)
   ((include? '(1 4) '(1 2)) ())
   ((include? () '(1)) t)
   ((include? '(1) ()) ())
   ((include? '((a 1)) '((a 2)) first-of) t)
   ((include? '(1 2) '(3) nil below?) t)
   ((include? '(1 4) '(3) nil below?) ())
   ((equal-set? '(1 2 2) '(2 1)) t)
   ((equal-set? '(1) '(1 2)) ())
   ((equal-set? () ()) t)
   ((equal-set? '((a 1) (b 2)) '((b 3) (a 4)) first-of) t)))

; difference with an empty second set returns the first list itself.
(define L (list 1 2 3))
(check (eq? (difference L nil) L) t)
(check (eq? (difference L '(9)) L) () "otherwise a new list")

; make-set copies the list unless in-place is true (neither nil nor the no-value marker).
(define (test-make-set-copy)
  (let* ((_l (list 1 2 1)) (_s (make-set _l)))
    (check _s '(1 2))
    (check _l '(1 2 1) "the argument is untouched")
    (check (eq? (make-set _l nil nil (void)) _l) () "no-value marker: a copy")
    (check _l '(1 2 1))))
(test-make-set-copy)

(define (test-make-set-in-place)
  (let* ((_l (list 1 2 1 3 1)) (_s (make-set _l nil nil t)))
    (check (eq? _s _l) t)
    (check _l '(1 2 3) "duplicates unlinked")))
(test-make-set-in-place)

; union copies both arguments.
(define (test-union-copies)
  (let* ((_a (list 1 2)) (_b (list 2 3)) (_u (union _a _b)))
    (check _u '(1 2 3))
    (check (list _a _b) '((1 2) (2 3)))
    (check (eq? _u _a) ())))
(test-union-copies)

; The key is called on each element, and the test gets the searched item first.
(define Keyed nil)
(define (key-of _x) (set! Keyed (cons _x Keyed)) _x)
(make-set '(1 2) key-of)
(check (equal-set? Keyed '(1 2)) t "key applied to the elements")

(check-wrong-type-cases
 '(((make-set 5) 5)
   ((make-set '(1 . 2)) (1 . 2))
   ((union '(1 . 2) ()) (1 . 2))
   ((union () 'x) x)
   ((include? '(1) 'x) x)
   ((include? "ab" ()) "ab")
   ((equal-set? '(1) 7) 7)
   ((intersection 1 '(1)) 1)
   ((difference '(1 2 . 3) '(1)) (1 2 . 3))
   ((difference 'a ()) a)))

; A key or test that is no function is not applicable.
(check-error 5 (lambda () (make-set '(1 2) 7)) "key 7")
(check-error 5 (lambda () (union '(1) '(2) nil 7)) "test 7")
