(define (fact n) (let loop ((n n) (r 1)) (if (> n 1) (loop (- n 1) (* r n)) r)))
(define (run k) (let loop ((k k) (len 0)) (if (= k 0) len (loop (- k 1) (string-length (number->string (fact 1000)))))))
(display (run 20)) (newline)
