; The lists benchmark in newLISP: build, reverse and sum lists of 100,000 integers cycling
; through 0..99, 20 rounds; prints the number of right sums.
(define (build-list n)
  (let (l '() k 0)
    (dotimes (i n)
      (push k l)
      (setq k (if (= k 99) 0 (+ k 1))))
    l))

(define (reverse-list l)
  (let (r '())
    (dolist (x l) (push x r))
    r))

(define (sum-list l)
  (let (s 0)
    (dolist (x l) (setq s (+ s x)))
    s))

(define (run-rounds rounds)
  (let (good 0)
    (dotimes (j rounds)
      (if (= (sum-list (reverse-list (build-list 100000))) 4950000)
          (setq good (+ good 1))))
    good))

(println (run-rounds 20))
(exit)
