; Multi-dimensional arrays: creation, element access, layout, copying and the index checks.

(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (car (cdr _c)) (car _c))) _cases))
(define (check-wrong-type-cases _cases)
  (for-each (lambda (_c)
              (check-error 2 (lambda () (eval (car _c))) (car _c))
              (check (error-value (lambda () (eval (car _c)))) (car (cdr _c)) (car _c)))
            _cases))

; The elements of a one-dimensional array, in order.
(define (array-elements _a _n)
  (if (= _n 0) nil (append-element (array-elements _a (- _n 1)) (array-ref _a (- _n 1)))))
(define (append-element _l _x)
  (if (null? _l) (list _x) (cons (car _l) (append-element (cdr _l) _x))))
; The elements of a two-dimensional array, first index varying fastest.
(define (array-elements-2 _a _d1 _d2)
  (let ((_flat (make-array (* _d1 _d2))))
    (copy-array _a _flat)
    (array-elements _flat (* _d1 _d2))))

(define A (make-array 2 3))
(check-cases
 '(((array? A) t)
   ((array? (make-array 4)) t)
   ((array? (vector 1 2)) ())
   ((array? '(1 2)) ())
   ((array? ()) ())
   ((vector? A) ())
   ((array-elements-2 A 2 3) (0 0 0 0 0 0))))

; Storing returns the value and changes that element only.
(check (array-set! A 'x 1 2) 'x)
(check (array-ref A 1 2) 'x)
(check (array-elements-2 A 2 3) '(0 0 0 0 0 x) "the other elements are 0")

; The first index varies fastest: (i1 i2) is at position i1 + d1 * i2.
(define B (make-array 2 3))
(array-set! B 'p10 1 0)
(array-set! B 'p01 0 1)
(array-set! B 'p12 1 2)
(check (array-elements-2 B 2 3) '(0 p10 p01 0 0 p12))

; Three dimensions: (1 2 3) of a 2x3x4 array is the last element, (1 0 0) the second.
(define C (make-array 2 3 4))
(array-set! C 'last 1 2 3)
(array-set! C 'second 1 0 0)
(array-set! C 'mid 0 1 2)
(define C-Flat (make-array 24))
(copy-array C C-Flat)
(check-cases
 '(((array-ref C-Flat 23) last)
   ((array-ref C-Flat 1) second)
   ((array-ref C-Flat 14) mid)
   ((array-ref C 1 2 3) last)
   ((array-ref C 0 0 0) 0)))

; Missing indices count as 0; indices beyond the rank are ignored.
(check-cases
 '(((array-ref B 1) p10)
   ((array-ref B) 0)
   ((array-ref B 1 2 7) p12)
   ((array-ref B 1 2 'ignored) p12)
   ((array-set! B 'q 0 2 99) q)
   ((array-ref B 0 2) q)))

; copy-array copies the source's element count into the start of the destination.
(define (test-copy-array)
  (let ((_from (make-array 3)) (_to (make-array 5)))
    (array-set! _from 'a 0)
    (array-set! _from 'b 1)
    (array-set! _from 'c 2)
    (array-set! _to 'keep 4)
    (check (eq? (copy-array _from _to) (void)) t)
    (check (array-elements _to 5) '(a b c 0 keep))
    (check (array-elements _from 3) '(a b c) "the source is unchanged")))
(test-copy-array)

; The largest array: 65,536 elements.
(define Largest (make-array 256 256))
(array-set! Largest 'corner 255 255)
(check (array-ref Largest 255 255) 'corner)
(check (array-ref Largest 0 255) 0)

; An array with a zero dimension has no elements.
(define Hollow (make-array 3 0))

(check-wrong-type-cases
 '(((array-ref A 2 0) 2)
   ((array-ref A 0 3) 3)
   ((array-ref A -1 0) -1)
   ((array-ref A 'a 0) a)
   ((array-ref A 0 1.0) 1.0)
   ((array-set! A 'x 0 5) 5)
   ((array-set! A 'x 2) 2)
   ((array-ref Hollow 0 0) 0)
   ((array-ref '(1 2) 0) (1 2))
   ((array-ref () 0) ())
   ((array-set! "abc" 'x 0) "abc")
   ((make-array -1) -1)
   ((make-array 65536) 65536)
   ((make-array 2 'a) a)
   ((make-array 256 257) 257)
   ((make-array 2 2 16385) 16385)
   ((copy-array 5 (make-array 2)) 5)))

(check (array-elements-2 A 2 3) '(0 0 0 0 0 x) "A after the failed stores")

; Without a single element, any access is refused (with the array).
(check (array? (error-value (lambda () (array-ref Hollow)))) t)
; The destination must hold every element of the source.
(check (array? (error-value (lambda () (copy-array (make-array 3) (make-array 2))))) t)
(check (array? (error-value (lambda () (copy-array (make-array 3) (vector 1 2 3))))) ())
(check-error 2 (lambda () (write (make-array 2))) "write of an array")
