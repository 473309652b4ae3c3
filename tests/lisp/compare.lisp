; compare-buffers takes two memory blocks of characters with their lengths; anything else is refused
; with the wrong-type error naming the bad argument.

(check (error-value (lambda () (compare-buffers 5 1 5 1))) 5 "a number is no pointer")
(check (error-value (lambda () (compare-buffers "abc" 3 "abc" 3))) "abc" "a string is no pointer")
(check (error-value (lambda () (compare-buffers () 0 () 0))) () "nil is no pointer")
(check-error 2 (lambda () (compare-buffers 'p 1 'q 1)))
(check-error 2 (lambda () (compare-buffers)) "no arguments")
