; Hash tables keyed by symbols.

(define (check-wrong-type-cases _cases)
  (for-each (lambda (_c)
              (check-error 2 (lambda () (eval (car _c))) (car _c))
              (check (error-value (lambda () (eval (car _c)))) (car (cdr _c)) (car _c)))
            _cases))

(check (hash-ref (new-hash) 'foo 'none) 'none)
(check (hash-ref (new-hash) 'foo) nil "the default defaults to nil")

(define H (new-hash))
(check (eq? (hash-set! H 'foo 1) (void)) t "hash-set! returns the no-value marker")
(check (hash-ref H 'foo 'none) 1)
(check (hash-ref H 'bar 'none) 'none)

; for-each-hash calls its function once per stored key, with the key and its value.
(define Calls nil)
(define (count _l) (if (null? _l) 0 (+ 1 (count (cdr _l)))))
(define (record-call _key _value) (set! Calls (cons (list _key _value) Calls)))
(check (eq? (for-each-hash record-call H) (void)) t)
(check Calls '((foo 1)))

; Storing again replaces the value; nil is a value like any other, not an absence.
(hash-set! H 'foo 2)
(hash-set! H 'empty nil)
(hash-set! H :keyword "k")
(hash-set! H 'list '(1 2 3))
(check (hash-ref H 'foo 'none) 2)
(check (hash-ref H 'empty 'none) nil)
(check (hash-ref H :keyword 'none) "k")
(check (hash-ref H 'list 'none) '(1 2 3))
(set! Calls nil)
(for-each-hash record-call H)
(check (equal-set? Calls '((foo 2) (empty ()) (:keyword "k") (list (1 2 3)))) t "every entry once")
(check (count Calls) 4 "four calls")

; Two tables do not share their entries.
(define H2 (new-hash))
(hash-set! H2 'foo 'other)
(check (hash-ref H 'foo 'none) 2)
(check (hash-ref H2 'foo 'none) 'other)
(check (hash-ref H2 'empty 'none) 'none)

; The function may store into the table it walks; it is called with the values as they are.
(define Walked (new-hash))
(hash-set! Walked 'a 1)
(hash-set! Walked 'b 2)
(define (double-entry _key _value) (hash-set! Walked _key (* 2 _value)))
(for-each-hash double-entry Walked)
(check (list (hash-ref Walked 'a 0) (hash-ref Walked 'b 0)) '(2 4))

; A table with nothing in it calls nothing.
(set! Calls nil)
(for-each-hash record-call (new-hash))
(check Calls nil)

(check-wrong-type-cases
 '(((hash-ref H "foo" nil) "foo")
   ((hash-ref H 5 nil) 5)
   ((hash-ref H () nil) ())
   ((hash-set! H "foo" 1) "foo")
   ((hash-set! H '(a) 1) (a))
   ((hash-ref '(1) 'foo nil) (1))
   ((hash-ref 'foo 'foo nil) foo)
   ((for-each-hash record-call 5) 5)
   ((for-each-hash record-call ()) ())))
(check (vector? (error-value (lambda () (hash-set! (vector 1) 'foo 1)))) t)
(check-error 2 (lambda () (write (new-hash))) "write of a hash table")
