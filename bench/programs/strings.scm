(define (build n) (let loop ((n n) (s "")) (if (= n 0) s (loop (- n 1) (string-append s "piece")))))
(define (run k) (let loop ((k k) (total 0)) (if (= k 0) total (loop (- k 1) (+ total (string-length (build 5000)))))))
(display (run 10)) (newline)
