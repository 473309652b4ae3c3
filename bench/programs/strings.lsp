(define (build n) (let ((s "")) (dotimes (i n) (setq s (append s "piece"))) s))
(define (run k) (let ((total 0)) (dotimes (i k) (setq total (+ total (length (build 5000))))) total))
(println (run 10))
(exit)
