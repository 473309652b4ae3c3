; The lists benchmark for Scheme systems (tinyscheme, elk, chicken): build, reverse and sum lists
; of 100,000 integers cycling through 0..99, 20 rounds; prints the number of right sums.
(define (build-list n)
  (do ((i 0 (+ i 1))
       (k 0 (if (= k 99) 0 (+ k 1)))
       (l '() (cons k l)))
      ((= i n) l)))

(define (reverse-list l)
  (do ((l l (cdr l))
       (r '() (cons (car l) r)))
      ((null? l) r)))

(define (sum-list l)
  (do ((l l (cdr l))
       (s 0 (+ s (car l))))
      ((null? l) s)))

(define (run-rounds rounds)
  (do ((j 0 (+ j 1))
       (good 0 (if (= (sum-list (reverse-list (build-list 100000))) 4950000) (+ good 1) good)))
      ((= j rounds) good)))

(display (run-rounds 20))
(newline)
