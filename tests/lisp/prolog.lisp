; The Prolog engine: clauses and predicates, unification, backtracking, the cut, queries from
; Lisp, the trail limit and printing.

(define (numbers _n)
  (let ((_l nil))
    (while (> _n 0) (set! _l (cons _n _l)) (set! _n (- _n 1)))
    _l))

(define (rev _l)
  (let ((_r nil))
    (while _l (set! _r (cons (car _l) _r)) (set! _l (cdr _l)))
    _r))

; ---- Clauses and predicates ----

(defclause (p 1))
(check (defclause (p 2)) 'p "defclause returns the name")
(check (clause? p) t)
(check (clause? car) nil)
(check (clause? '(1 2)) nil)
(check (car (cdr (car (cdr (car (text p)))))) 1 "the first clause is for 1")
(check (car (cdr (car (cdr (car (cdr (text p))))))) 2 "the second clause is for 2")
(check (car (car (cdr (car (text p))))) 'p "the clause's head is the predicate's name")
(check (logvar? (car '(_x))) t)
(check (logvar? 'x) nil)
(check (logvar? 5) nil)

(define (test-first-solution)
  (check (p _x) t)
  (check _x 1 "the first clause binds the caller's variable")
  (check (p 3) nil)
  (check (p 2) t))
(test-first-solution)

; new-clause compiles a clause: (slots . ((head . args) . body)).
(define Compiled (new-clause (_a (_b . _a)) (q _b _c)))
(check (car Compiled) 3 "three distinct variables")
(check (car (car (cdr Compiled))) 'new-clause)
(check (car (text (car (cdr (car (cdr Compiled)))))) '(0 . 0) "_a takes slot 0")
(check (car (text (cdr (car (cdr (cdr (car (cdr Compiled)))))))) '(0 . 0)
       "the second _a shares the slot")
(check (car (text (car (car (cdr (cdr (car (cdr Compiled)))))))) '(0 . 1) "_b takes slot 1")
(check (car (text (car (cdr (cdr (car (cdr (cdr Compiled)))))))) '(0 . 2) "_c of the body takes slot 2")

; asserte adds an evaluated clause.
(asserte '((colour red)))
(asserte (list (list 'colour 'green)))
(define (test-asserte)
  (check (colour 'green) t)
  (check (colour 'blue) nil)
  (check (colour _c) t)
  (check _c 'red))
(test-asserte)

; A top-level query hands its solution back to the top-level variable.
(check (colour _top) t)
(check _top 'red)

; ---- Unification ----

(defclause (same _x _x))
(define (unify-case _a _b) (if (same _a _b) (list 'yes _a _b) 'no))
(define (test-unification)
  (check (same 'a 'a) t "equal atoms")
  (check (same 'a 'b) nil "different atoms")
  (check (same 3 3) t)
  (check (same "abc" "abc") t "strings compare by their characters")
  (check (same nil nil) t)
  (check (same nil '(1)) nil "nil against a pair")
  (check (same '(1 (2 3)) '(1 (2 3))) t "nested lists")
  (check (same '(1 (2 3)) '(1 (2 4))) nil "nested lists that differ")
  (check (same '(1 2) '(1 2 3)) nil "lists of different length")
  (check (same _v '(a b)) t "a variable takes a list")
  (check _v '(a b))
  (check (same _w 7) t)
  (check _w 7))
(test-unification)

; Variables bound to variables, and variables that occur in nested lists.
(defclause (link _x _y _x) (same _x _y))
(defclause (link-then-bind _a _b _c) (link _a _b _c) (same _c 'z))
(defclause (swap (_a _b) (_b _a)))
(defclause (nest (_a (_b _a)) _b))
(defclause (tail (_h . _t) _t))
(define (test-variable-chains)
  (check (link-then-bind _a _b _c) t "three variables made one, then bound")
  (check (list _a _b _c) '(z z z))
  (check (swap '(1 (2)) _s) t)
  (check _s '((2) 1))
  (check (nest _n 'k) t)
  (check (list (logvar? (car _n)) (equal? (text (car _n)) (text (car (cdr (car (cdr _n)))))) (car (car (cdr _n))))
         '(t t k) "an unbound variable stays as its variable inside the solution")
  (check (nest '(5 (6 5)) _m) t)
  (check _m 6)
  (check (nest '(5 (6 7)) _o) nil "the second occurrence must agree with the first")
  (check (tail '(1 2 3) _t) t)
  (check _t '(2 3))
  (check (same _u _u) t "a variable unifies with itself")
  (check (free _u) t))
(test-variable-chains)

; Unifying two variables that are already one another's binding must not make a circle.
(defclause (linked-twice _x _y) (same _x _y) (same _y _x) (same _x _y) (same _x 3))
(define (test-linked-twice)
  (check (list (linked-twice _a _b) _a _b) '(t 3 3)))
(test-linked-twice)

(defclause (bind-pair (_x _y) _x _y))
(define (test-free)
  (check (bind-pair _p 1 _q) t)
  (check (free _q) t "an unbound variable stays free")
  (check (free? _q) t "the evaluator's free? reads the slot")
  (check (free _zz) t)
  (check (free (void)) t)
  (check (free 3) nil)
  (check (car _p) 1))
(test-free)

; Lisp code in a clause reads a variable bound by the proof through its chain of bindings.
(defclause (head-of _l _h) (same _h (car _l)))
(defclause (head-via-chain _l _h) (same _m _l) (same _n _m) (same _h (car _n)))
(defclause (read-free _x) (same _x _y) (car _x))
(define Seen nil)
(defclause (free-both _x _y) (same _x _y) (begin (set! Seen (list (free _x) (free? _x))) t))
(define (test-reading-bindings)
  (check (list (head-of '(7 8) _h) _h) '(t 7))
  (check (list (head-via-chain '(9 8) _g) _g) '(t 9))
  (check-error 6 (lambda () (read-free _z)) "a chain that ends unbound reads as unbound")
  (check (free-both _a _b) t)
  (check Seen '(t ()) "free follows the binding; the evaluator's free? only sees the slot is set"))
(test-reading-bindings)

; A clause defined inside a function is compiled on its own: a closure in its body addresses the
; clause's variables, not the function's.
(define (define-adder)
  (let ((_unrelated 0))
    (defclause (add-via-closure _x _r) (same _r ((lambda (_y) (+ _x _y)) 1)))))
(define-adder)
(define (test-closure-in-clause)
  (check (list (add-via-closure 41 _r) _r) '(t 42)))
(test-closure-in-clause)

; ---- Backtracking ----

(defclause (parent tom bob))
(defclause (parent tom liz))
(defclause (parent bob ann))
(defclause (parent bob pat))
(defclause (parent pat jim))
(defclause (grandparent _x _z) (parent _x _y) (parent _y _z))
(defclause (ancestor _x _y) (parent _x _y))
(defclause (ancestor _x _y) (parent _x _z) (ancestor _z _y))

; Collecting every solution: a Lisp test records it and fails, so the proof backtracks.
(define Found nil)
(defclause (collect-ancestors _who) (ancestor _a _who) (begin (set! Found (cons _a Found)) nil))
(defclause (collect-grandchildren _who) (grandparent _who _g) (begin (set! Found (cons _g Found)) nil))
(define (all-of _query _who)
  (set! Found nil)
  (check (_query _who) nil "the collecting proof fails in the end")
  (rev Found))

(define (test-family)
  (check (grandparent 'tom _g) t)
  (check _g 'ann "the first grandchild in clause order")
  (check (grandparent _gp 'jim) t)
  (check _gp 'bob)
  (check (grandparent 'liz _none) nil)
  (check (ancestor 'tom 'jim) t)
  (check (ancestor 'jim 'tom) nil)
  (check (all-of collect-ancestors 'jim) '(pat tom bob) "depth-first, clause order")
  (check (all-of collect-grandchildren 'tom) '(ann pat))
  (check (all-of collect-grandchildren 'bob) '(jim))
  (check (all-of collect-ancestors 'tom) nil))
(test-family)

; A Lisp test that fails makes the next clause be tried.
(defclause (classify _n small) (< _n 10))
(defclause (classify _n big))
(define (test-lisp-tests)
  (check (list (classify 3 _a) _a) '(t small))
  (check (list (classify 30 _b) _b) '(t big)))
(test-lisp-tests)

; Backtracking undoes the bindings of a failed branch, including those a query made from inside
; a Lisp test.
(defclause (choose 1))
(defclause (choose 2))
(defclause (ten 1 10))
(defclause (ten 2 20))
(defclause (twenty _r) (choose _c) (and (ten _c _x) t) (= _x 20) (same _r (list _c _x)))
(define (test-undo)
  (check (twenty _r) t)
  (check _r '(2 20)))
(test-undo)

; ---- The cut ----

(defclause (max _x _y _x) (>= _x _y) (cut))
(defclause (max _x _y _y))
(define (max-of _a _b) (max _a _b _m) _m)
(check (list (max-of 3 5) (max-of 7 2) (max-of 4 4)) '(5 7 4))

; A deterministic member check: with the cut it succeeds once, without it once per occurrence.
(defclause (member _x (_x . _rest)))
(defclause (member _x (_y . _t)) (member _x _t))
(defclause (memberchk _x (_x . _rest)) (cut))
(defclause (memberchk _x (_y . _t)) (memberchk _x _t))
(define Count 0)
(defclause (count-members _x _l) (member _x _l) (begin (set! Count (+ Count 1)) nil))
(defclause (count-memberchks _x _l) (memberchk _x _l) (begin (set! Count (+ Count 1)) nil))
(defclause (count-any-members _ _l) (member _x _l) (begin (set! Count (+ Count 1)) nil))
(defclause (count-any-memberchks _ _l) (memberchk _x _l) (begin (set! Count (+ Count 1)) nil))
(define (count-of _query _x _l)
  (set! Count 0)
  (_query _x _l)
  Count)
(define (test-cut)
  (check (count-of count-members 'a '(a b a c a)) 3)
  (check (count-of count-memberchks 'a '(a b a c a)) 1)
  (check (count-of count-any-members nil '(a b c)) 3 "member enumerates every element")
  (check (count-of count-any-memberchks nil '(a b c)) 1)
  (check (memberchk 'z '(a b c)) nil))
(test-cut)

; The cut commits to the choices made before it in the clause, and to the clause itself, even
; when the goals before it have several clauses of their own.
(defclause (num 1))
(defclause (num 2))
(defclause (num 3))
(defclause (pair-of _a _b) (num _a) (num _b))
(defclause (first-big _x) (num _x) (> _x 1) (cut))
(defclause (first-big 99))
(defclause (committed _x) (pair-of _a _b) (= _b 2) (cut) (= _a 5) (same _x _a))
(defclause (committed 0))
(defclause (after-cut _x) (num _y) (cut) (num _x) (> _x _y))
(define (test-cut-scope)
  (check (list (first-big _f) _f) '(t 2))
  (check (committed _c) nil "a failure after the cut fails the whole predicate")
  (check (list (after-cut _v) _v) '(t 2) "goals after the cut still backtrack"))
(test-cut-scope)

; A cut inside a called predicate does not cut the caller's alternatives.
(defclause (inner-cut _x) (num _x) (cut))
(defclause (outer _x _y) (num _y) (inner-cut _x) (> _y 2))
(define (test-local-cut)
  (check (list (outer _a _b) _a _b) '(t 1 3)))
(test-local-cut)

; ---- Naive reverse ----

(defclause (app nil _l _l))
(defclause (app (_h . _t) _l (_h . _r)) (app _t _l _r))
(defclause (nrev nil nil))
(defclause (nrev (_h . _t) _r) (nrev _t _rt) (app _rt (list _h) _r))
(define (test-lists)
  (check (list (app '(1 2) '(3 4) _r) _r) '(t (1 2 3 4)))
  (check (list (app _x _y '(1 2)) _x _y) '(t () (1 2)) "the first split")
  (check (list (app _p '(3) '(1 2 3)) _p) '(t (1 2)))
  (check (app _q '(9) '(1 2 3)) nil)
  (check (list (nrev (numbers 30) _n) _n) (list t (rev (numbers 30)))))
(test-lists)

; A dotted head takes the remaining arguments as a list.
(defclause (rest-args _out _a . _r) (same _out _r))
(define (test-rest-arguments)
  (check (list (rest-args _o 1 2 3) _o) '(t (2 3)))
  (check (list (rest-args _p 1) _p) '(t ()))
  (check (rest-args _q) nil "too few arguments for the head"))
(test-rest-arguments)
(check (same 1 2 3) nil "too many arguments for the head")
(check (apply colour '(red)) t "a predicate applied to an argument array")

; ---- Errors ----

; An error in a Lisp test leaves the proof, and the engine keeps working afterwards.
(defclause (bad _x) (car _x))
(check-error 2 (lambda () (bad 5)))
(check-error 6 (lambda () (num unbound-name)) "goal arguments other than variables are evaluated")
(check-error 2 (lambda () (defclause bad-head)))
(check-error 2 (lambda () (asserte 5)))
(check-error 2 (lambda () (asserte '(5))))
(check-error 2 (lambda () (defclause ((x)))))
(check-error 2 (lambda () (new-clause)) "a clause needs its argument list")
(check-error 21 (lambda () (obj-root (defclause (in-object 1)))) "no clauses inside an object context")
(check-error 6 (lambda () (cut)) "the cut is no Lisp function")

; A proof longer than the trail raises error 9 with the variable being bound; the trail is
; given back, so the next proof runs.
(define (long-append _n) (app (numbers _n) nil _r))
(check (long-append 2000) t)
(check-error 9 (lambda () (long-append 3000)))
(check (logvar? (error-value (lambda () (long-append 3000)))) t "the culprit is a variable")
(check (long-append 2000) t "the trail is free again")

; Deep proofs and cyclic terms raise an error report instead of overflowing the C stack.
(defclause (forever) (forever))
(check-error 9 (lambda () (forever)))
(defclause (cyclic _x (1 _x)))
(define (make-cyclic) (cyclic _y _y) _y)
(check-error 9 make-cyclic)
(defclause (cyclic-tail _x (1 . _x)))
(define (make-cyclic-tail) (cyclic-tail _y _y) _y)
(check-error 9 make-cyclic-tail)
(check (long-append 2000) t "still free after deep proofs")

; ---- Printing ----

(check (format t "~a" p) "#<predicate p>")
(check (format t "~a" grandparent) "#<predicate grandparent>")
(check-error 2 (lambda () (format t "~w" p)) "a predicate has no readable form")
