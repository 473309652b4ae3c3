; Vectors: construction, access, conversion, and the checks on indexes and sizes.

; Each case is (form expected): the form's value must be equal? to expected.
(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (car (cdr _c)) (car _c))) _cases))
; Each case is (form culprit): the form must raise the wrong-type error naming the culprit.
(define (check-wrong-type-cases _cases)
  (for-each (lambda (_c)
              (check-error 2 (lambda () (eval (car _c))) (car _c))
              (check (error-value (lambda () (eval (car _c)))) (car (cdr _c)) (car _c)))
            _cases))

(define V3 (vector 1 2 3))
(define Empty (vector))

(check-cases
 '(((vector? V3) t)
   ((vector? Empty) t)
   ((vector? '(1 2 3)) ())
   ((vector? ()) ())
   ((vector? "abc") ())
   ((vector? 7) ())
   ((vector-length V3) 3)
   ((vector-length Empty) 0)
   ((vector-ref V3 0) 1)
   ((vector-ref V3 2) 3)
   ((vector->list V3) (1 2 3))
   ((vector->list Empty) ())
   ((vector->list (vector 'a "b" '(1 2) 2.5)) (a "b" (1 2) 2.5))
   ((vector->list (make-vector 2)) (() ()))
   ((vector->list (make-vector 3 'z)) (z z z))
   ((vector-length (make-vector 0 'z)) 0)
   ((vector->list (list->vector '(a b c))) (a b c))
   ((vector-length (list->vector ())) 0)
   ((vector->list (copy-vector V3)) (1 2 3))
   ((eq? (copy-vector V3) V3) ())
   ((eq? (vector->list V3) (vector->list V3)) ())))

; vector-set! stores and returns the value; the other elements stay.
(define (test-vector-set)
  (let ((_v (vector 'a 'b 'c)))
    (check (vector-set! _v 1 'x) 'x)
    (check (vector->list _v) '(a x c))
    (check (vector-set! _v 2 nil) nil)
    (check (vector->list _v) '(a x ()))))
(test-vector-set)

; vector-fill! returns the no-value marker and stores into every element.
(define (test-vector-fill)
  (let ((_v (vector 1 2 3)))
    (check (eq? (vector-fill! _v 'q) (void)) t)
    (check (vector->list _v) '(q q q))
    (check (eq? (vector-fill! (vector) 'q) (void)) t "empty vector")))
(test-vector-fill)

; The copy is a new vector: changing it leaves the original alone, and the other way round.
(define (test-copy-vector)
  (let* ((_v (vector 1 2 3)) (_c (copy-vector _v)))
    (vector-set! _c 0 'changed)
    (vector-set! _v 2 'also)
    (check (vector->list _v) '(1 2 also))
    (check (vector->list _c) '(changed 2 3))))
(test-copy-vector)

; list->vector copies the elements: the list can change afterwards.
(define (test-list-to-vector)
  (let* ((_l (list 1 2 3)) (_v (list->vector _l)))
    (check (eq? (vector-ref _v 0) (car _l)) t)
    (check (vector->list _v) _l)))
(test-list-to-vector)

; A vector longer than 16 bits of index: every index is checked in full.
(define Big (make-vector 70000 0))
(vector-set! Big 69999 'last)
(vector-set! Big 65536 'past-16-bits)
(check-cases
 '(((vector-length Big) 70000)
   ((vector-ref Big 69999) last)
   ((vector-ref Big 65536) past-16-bits)
   ((vector-ref Big 0) 0)
   ((vector-ref Big 4463) 0)))

; A vector inside a vector is an element like any other.
(define Nested (vector V3 Empty))
(check (eq? (vector-ref Nested 0) V3) t)

(check-wrong-type-cases
 '(((vector-ref V3 3) 3)
   ((vector-ref V3 -1) -1)
   ((vector-ref V3 1.5) 1.5)
   ((vector-ref V3 'a) a)
   ((vector-ref V3 ()) ())
   ((vector-ref Empty 0) 0)
   ((vector-ref Big 70000) 70000)
   ((vector-ref '(1 2) 0) (1 2))
   ((vector-set! V3 3 'x) 3)
   ((vector-set! V3 -1 'x) -1)
   ((vector-set! V3 "0" 'x) "0")
   ((vector-set! "abc" 0 'x) "abc")
   ((vector-length "abc") "abc")
   ((vector-length ()) ())
   ((vector-fill! '(1 2) 0) (1 2))
   ((vector->list 5) 5)
   ((copy-vector ()) ())
   ((make-vector -1) -1)
   ((make-vector 'a) a)
   ((make-vector 2.0) 2.0)
   ((list->vector '(1 . 2)) (1 . 2))
   ((list->vector 5) 5)))
(check (eq? (error-value (lambda () (list->vector V3))) V3) t "list->vector of a vector")

; A failed store leaves the vector as it was.
(check (vector->list V3) '(1 2 3) "V3 after the failed stores")

; Print style: writing a vector is refused.
(check-error 2 (lambda () (write (vector 1 2))) "write of a vector")
