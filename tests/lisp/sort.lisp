; sort and sort!: the quicksort over (element, key) entries, keys and duplicate removal.

(define (ascending? _l)
  (or (null? _l) (null? (cdr _l)) (and (<= (car _l) (cadr _l)) (ascending? (cdr _l)))))
(define (sum _l) (if _l (+ (car _l) (sum (cdr _l))) 0))

(check (list (sort < '(3 1 2)) (sort > '(3 1 2)) (sort < '()) (sort < '() () =) (sort < '(5)))
       '((1 2 3) (3 2 1) () () (5)))
(check (sort < '(1 1 2) () =) '(1 2))
(check (list (sort < '(4 2 4 1 2 4) () =) (sort < '(7 7 7) () =) (sort < '(2 1 2 1)))
       '((1 2 4) (7) (1 1 2 2)))
(check (sort < '((b 2) (a 1) (c 3)) cadr) '((a 1) (b 2) (c 3)) "with a key")
(check (sort < '(1.5 -2 3 0.5)) '(-2 0.5 1.5 3) "mixed numbers")

; The sort is not stable: the middle entry is the first pivot, equal keys go to its right.
(check (sort < '((a 1) (b 1) (c 1)) cadr) '((b 1) (c 1) (a 1)))
(check (sort < '((a 1) (b 1) (c 1) (d 1)) cadr) '((c 1) (a 1) (d 1) (b 1)))

; Equal keys: one entry of each key survives, the keys all differ.
(define Dropped (sort < '((a 1) (b 2) (c 1) (d 2) (e 3)) cadr =))
(check (list (length Dropped) (map cadr Dropped)) '(3 (1 2 3)))

; sort leaves its argument alone and builds a fresh list.
(define Unsorted (list 3 1 2))
(define Sorted (sort < Unsorted))
(check (list Unsorted (eq? Sorted Unsorted) (eq? (cdr Sorted) (cdr Unsorted))) '((3 1 2) () ()))

; sort! reuses the argument's pairs and unlinks the ones it no longer needs.
(define Cells (list 3 1 3 2 1))
(define Second (cdr Cells))
(define SortedInPlace (sort! < Cells () =))
(check (list SortedInPlace (eq? SortedInPlace Cells) (eq? (cdr SortedInPlace) Second)) '((1 2 3) t t))
(check (sort! > (list 1 2 3 4)) '(4 3 2 1))
(check (sort! < '()) '())

; Larger inputs: ordered, the same elements, sort and sort! agree.
(define Mixed (for-collect 1 400 (lambda (_i) (- (* (- 200 _i) (- 200 _i)) (* 3 _i)))))
(define MixedSorted (sort < Mixed))
(check (list (ascending? MixedSorted) (length MixedSorted) (sum MixedSorted)) (list t 400 (sum Mixed)))
(check (sort! < (copy-list Mixed)) MixedSorted)
(check (sort < (for-collect 300 1 (lambda (_i) _i) t)) (for-collect 1 300 (lambda (_i) _i)) "descending input")
(check (sort < (for-collect 1 300 (lambda (_i) 5))) (for-collect 1 300 (lambda (_i) 5)) "all equal")
(check (sort < (for-collect 1 300 (lambda (_i) 5)) () =) '(5))
(check (sort < (for-collect 40000 1 (lambda (_i) _i) t)) (for-collect 1 40000 (lambda (_i) _i)) "beyond 32767 elements")

; A predicate that says anything still ends with a permutation.
(define Shuffled '(4 8 1 9 3 3 7))
(check (sort < (sort (lambda (_a _b) t) Shuffled)) (sort < Shuffled))
(check (sort < (sort (lambda (_a _b) ()) Shuffled)) (sort < Shuffled))

; Errors in the predicate, key or same function unwind through the sort and leave the list whole.
(check-error 2 (lambda () (sort < 5)) "not a list")
(check-error 2 (lambda () (sort < '(1 a 2))) "predicate error")
(check (error-value (lambda () (sort < '(1 2) (lambda (_x) (car _x))))) 1 "key error")
(define Whole (list 5 4 3 2 1))
(check-error 2 (lambda () (sort! (lambda (_a _b) (if (= _a 2) (car 'x) (< _a _b))) Whole)))
(check Whole '(5 4 3 2 1) "sort! writes only once it has sorted")
(check-error 2 (lambda () (sort! < Whole () (lambda (_a _b) (car 'x)))))
(check Whole '(5 4 3 2 1) "nor before its duplicates are known")
(check (sort < '(2 1)) '(1 2) "sorting works after an error")

; A predicate may catch an error of its own, or sort, and the sort goes on.
(define (careful< _a _b)
  (error-of (lambda () (car 'x)))
  (< _a _b))
(check (sort careful< '(3 1 2 5 4)) '(1 2 3 4 5))
(check (sort (lambda (_a _b) (< (car (sort < (list _a 100))) (car (sort < (list _b 100))))) '(3 1 2))
       '(1 2 3) "nested sorts")

; sort! whose predicate cuts the list short keeps every element.
(define Cut (list 4 3 2 1))
(check (sort! (lambda (_a _b) (set-cdr! Cut ()) (< _a _b)) Cut) '(1 2 3 4))

; Predicates, keys and tests that are no functions are reported when they are called.
(check (error-value (lambda () (sort 5 '(2 1)))) 5)
(check (error-value (lambda () (sort < '(2 1) 'no-function))) 'no-function)
(check (error-value (lambda () (sort < '(1 1) () "same"))) "same")
