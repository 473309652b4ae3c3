(define (fact n) (let ((r 1L)) (while (> n 1) (setq r (* r n)) (dec n)) r))
; newlisp writes big integers with a trailing L.
(define (run k) (let ((len 0)) (dotimes (i k) (setq len (- (length (string (fact 1000))) 1))) len))
(println (run 20))
(exit)
