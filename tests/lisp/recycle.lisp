; The collector as Lisp sees it: recycle, and data that must outlive collections.
(check (eq? (recycle nil t) (void)) t "recycle returns no value")
(check (eq? (recycle t t) (void)) t)
(check (eq? (recycle nil nil) (void)) t)
(check Recycle-Sound t)

(define (make-junk _n) (if (= _n 0) nil (cons _n (make-junk (- _n 1)))))
(define (numbers _n _acc) (if (= _n 0) _acc (numbers (- _n 1) (cons _n _acc))))

; Data built before a collection reads the same after it, with garbage made in between.
(define kept (list "a string" 2.5 (list 1 2 3) "another"))
(make-junk 200)
(recycle nil t)
(make-junk 200)
(recycle nil nil)
(check kept '("a string" 2.5 (1 2 3) "another") "strings, reals and lists survive compaction")
(check (numbers 5 nil) '(1 2 3 4 5))

; A thrown value lives only in the throw while cleanups run, and cleanups may collect.
(define (throw-through-cleanup)
  (catch 'out
    (unwind-protect
      (throw 'out (list 1 2 (list 7 8) "text"))
      (make-junk 100)
      (recycle nil t)
      (make-junk 100))))
(check (throw-through-cleanup) '(1 2 (7 8) "text") "thrown value survives the cleanup's collections")

; Values held by a function that define made permanent, and a list built by a later call.
(define (constant-list) '(x y "z"))
(recycle nil nil)
(make-junk 100)
(recycle nil t)
(check (constant-list) '(x y "z"))
(define (local-survives _n)
  (let ((_l (numbers _n nil)))
    (make-junk 100)
    (recycle nil t)
    (make-junk 100)
    _l))
(check (local-survives 10) '(1 2 3 4 5 6 7 8 9 10) "a local's list survives")
