; Non-local exits and the error report.
(check (catch 'a (throw 'a 5)) 5)
(define after-throw nil)
(check (catch 'a (catch 'b (throw 'a 5) (set! after-throw t))) 5)
(check after-throw nil "no code runs after the inner throw")
(check (catch 'a 1 2) 2)
(check (catch 'a (catch 'b (throw 'b 1)) 7) 7 "an inner catch does not end the outer body")
(check (catched? 'toplevel) t "the script runs each form inside a toplevel catch")
(check (catched? 'nowhere) nil)
(check (catch 'c (catched? 'c)) t)

(check-error 17 (lambda () (throw 'nowhere 1)))
(check (error-value (lambda () (throw 'nowhere 1))) 'nowhere "error 17 carries the tag")

(define x 0)
(check (catch 'a (unwind-protect (throw 'a 1) (set! x 2))) 1)
(check x 2 "the cleanup ran during the throw")
(check (unwind-protect 3 (set! x 4)) 3)
(check x 4 "the cleanup ran on a normal exit")
(check (catch 'b (unwind-protect 1 (throw 'b 2))) 2 "a cleanup's own exit goes on after a normal exit")
(check (catch 'a (catch 'b (unwind-protect (throw 'a 1) (throw 'b 2)))) 1
       "a cleanup's exit during another exit is dropped")

; A catch inside a function puts back the function's Lisp stack.
(define (catcher _a _b) (let ((_r (catch 'k (list _a (throw 'k _b))))) (list _a _b _r)))
(check (catcher 1 2) '(1 2 2))
(define (many-catches _n) (let ((_i 0)) (while (< _i _n) (catch 'k (throw 'k _i)) (set! _i (+ _i 1))) _i))
(check (many-catches 50000) 50000 "catching does not leak Lisp stack")

(check-error 0 (lambda () (error "bad")))
(check (error-value (lambda () (error "bad"))) "bad")
(check (error-value (lambda () (error "~a-~a" 1 2))) "1-2" "error formats its arguments")

; With Error-Handler set, the handler receives family, code, value, the current object, nil, nil.
(define trapped nil)
(define (my-trap _f _c _v _o _a _b) (set! trapped (list _f _c _v _a _b)) (throw 'done 'handled))
(check (catch 'done (fluid-let ((error-trap my-trap)) (car 5))) 'handled)
(check trapped '(1010 2 5 () ()))

; Printing a list circular through its cdrs raises the wrong-type error instead of looping.
(define ring (list 1 2 3))
(set-cdr! (cdr (cdr ring)) ring)
(check-error 2 (lambda () (format t "~a" ring)))
(check (eq? (error-value (lambda () (format t "~a" ring))) ring) t)
