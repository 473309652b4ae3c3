; The structural search for expressions in Lisp source text, and unify-expr.

(define W (list Symbolic-Token))      ; any one expression
(define W+ (list Symbolic-Token 1))   ; one or more elements
(define W* (list Symbolic-Token 2))   ; zero or more elements
(define (cp . _codes) (list->string _codes))
(define Text (string-append "(define (foo x) ; a comment (bar)" (cp 10) "  (bar 'x \"s(\" 12 #\\) [baz]))"
                            (cp 10) "(foo 1 . 2)"))
(define Length (string-length Text))
; options: start end step-over kind (defaults 0 0 nil nil)
(define (option _options _i _default) (if (> (length _options) _i) (list-ref _options _i) _default))
(define (find _patterns . _o)
  (search-symbolic _patterns Text Length (option _o 0 0) (option _o 1 0) (option _o 2 nil) (option _o 3 nil)))
(define (text-of _answer) (if _answer (substring Text (car (cdr _answer)) (cdr (cdr _answer))) nil))

; Atoms, strings, numbers and lists; comments, strings and character literals hide brackets.
(check (find '(bar)) (cons 'bar (cons 37 40)) "the first bar outside the comment")
(check (text-of (find '(12))) "12")
(check (text-of (find '("s("))) "\"s(\"")
(check (find '("s")) nil)
(check (text-of (find (list (list 'bar W+)))) "(bar 'x \"s(\" 12 #\\) [baz])")
(check (text-of (find (list (list 'bar W W W W W)))) "(bar 'x \"s(\" 12 #\\) [baz])")
(check (find (list (list 'bar W W))) nil)
(check (text-of (find '((baz)))) "[baz]")
(check (text-of (find (list (list 'define W W*)))) (substring Text 0 63))
(check (text-of (find (list (cons 'foo (cons 1 2))))) "(foo 1 . 2)")
(check (text-of (find (list (cons 'foo W)))) "(foo x)" "a wild-card tail binds the rest")
(check (text-of (find (list (cons 'foo (cons W+ 2))))) "(foo 1 . 2)")
(check (find (list (list 'foo W+ W))) nil "the dot is not an element")
; Quoted expressions match only wild cards; the walk goes inside them.
(check (text-of (find '(x) 41 43)) "x" "inside a quoted expression")
(check (find (list (list 'quote 'x))) nil)
; The patterns are tried in order for each expression; the walk is depth first.
(check (car (find (list 'x 'foo))) 'foo)
(check (text-of (find (list 'baz 'bar))) "bar")
; step-over: after a failure the walk goes past the expression, not into it.
(check (text-of (find (list (cons 'foo W)) 0 0 t)) "(foo 1 . 2)")
(check (text-of (find (list (cons 'foo W)) 0 0 nil)) "(foo x)")
(check (find (list (list 'foo W*)) 0 0 t) nil "a proper pattern never matches a dotted list")
; start and end: the walk begins as if that expression had just failed.
(check (text-of (find '(foo) 0 64)) "foo" "inside the list from 0 to 64")
(check (text-of (find '(foo) 8 15)) "foo")
(check (text-of (find '(foo) 9 12)) "foo" "after the atom foo: the next foo")
(check (cdr (find '(foo) 9 12)) '(65 . 68))
(check (find '(nothing)) nil)
; Kinds of patterns.
(check (car (find (list (cons :prm 'bar)) 0 0 nil nil)) (cons :prm 'bar))
(check (car (find (list (cons :prm 'bar)) 0 0 nil 'velora)) (cons :prm 'bar))
(check (find (list (cons :prm 'bar)) 0 0 nil 'velora-prj) nil)
(check (car (find (list (cons :prj 'bar) (cons :def 'foo)) 0 0 nil 'velora-def)) (cons :def 'foo))
; nil matches an empty list.
(check (search-symbolic (list '()) "(a ( ) b)" 9 0 0 nil nil) (cons '() (cons 3 6)))
; Unbalanced or unterminated text: nothing further.
(check (search-symbolic '(b) "(a \"b" 5 0 0 nil nil) nil)
(check (search-symbolic '(b) "(a (b" 5 0 0 nil nil) nil)
(check (search-symbolic '(b) ") b" 3 0 0 nil nil) (cons 'b (cons 2 3)))
; The byte 0 is an atom character like any other (a text of zeros once made the walk stand still).
(define P (new-ptr 6))
(for-each (lambda (_i) (mset 1 0 P _i)) '(0 1 2 3 4 5))
(mset 1 40 P 4)
(check (search-symbolic '(x) P 6 5 5 nil nil) nil)
(check (cdr (search-symbolic (list W) P 6 0 0 nil nil)) '(0 . 4))

; unify-expr: the bindings of the wild cards, in order, with their extents.
(check (unify-expr (list 'define W W*) Text Length 0 64) (list (cons W (cons 8 15)) (cons W* (cons 36 62))))
(check (unify-expr (list 'bar W* 12 W+) Text Length 35 63)
       (list (cons W* (cons 41 48)) (cons W+ (cons 52 61))))
(check (unify-expr (list 'bar W* 13 W+) Text Length 35 63) nil "no match, nothing bound before the failure")
(check (unify-expr (list W 'nope) Text Length 0 64) (list (cons W (cons 1 7))) "bindings made before the failure")
(check (unify-expr W "  (a b)" 7 0 7) (list (cons W (cons 2 7))))

; Bad arguments.
(check-error 2 (lambda () (search-symbolic '(a) "abc" 9 0 0 nil nil)))
(check-error 2 (lambda () (search-symbolic '(a) "abc" 3 0 4 nil nil)))
(check-error 2 (lambda () (search-symbolic '(a) "abc" 3 2 1 nil nil)))
(check-error 2 (lambda () (unify-expr '(a) 'abc 3 0 3)))
