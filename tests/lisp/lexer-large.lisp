; A lexer for Lisp numbers, identifiers and parentheses, built from the automaton's classes and
; run over a text of 1 MB (in a handle: two runs of this file at once share no temporary file).

(define (linked _class) (let ((_o (make-instance _class))) (_o (link-object)) _o))

(define (byte-set _predicate)
  (let ((_s (linked Charset))) (_s (setup-predicate _predicate)) _s))
(define (digit? _b) (and (>= _b 48) (<= _b 57)))
(define (ident-start? _b)
  (or (and (>= _b 65) (<= _b 90)) (and (>= _b 97) (<= _b 122)) (member _b '(42 43 33 63 60 62 61 47 45))))
(define Digits (byte-set digit?))
(define Ident-Start (byte-set ident-start?))
(define Ident-Char (byte-set (lambda (_b) (or (ident-start? _b) (digit? _b)))))
(define White (byte-set (lambda (_b) (member _b '(32 9 13 10)))))

(define (trans _class _outcome _action _move _callback _test)
  (let ((_t (linked _class)))
    (_t (set-outcome _outcome)) (_t (set-buffer-action-internal _action)) (_t (set-move _move))
    (when _callback (_t (set-callback _callback)))
    (cond ((eq? _class Lexer-Trans-Charset) (_t (set-charset-internal _test)))
          ((eq? _class Lexer-Trans-Char) (_t (set-trigger _test))))
    _t))
(define (state _name . _transitions)
  (let ((_s (linked Lexer-State)))
    (_s (set-name _name))
    (for-each (lambda (_t) (_s (add-trans _t))) _transitions)
    _s))

(define Counter (new-class 'Counter Lexer-Handler))
(Counter (defslot numbers :default 0))
(Counter (defslot identifiers :default 0))
(Counter (defslot parens :default 0))
(Counter (defslot characters :default 0))
(Counter (defslot ends :default 0))
(Counter (define (handle-callback _symbol _lexer)
           (cond ((eq? _symbol 'paren) (set! parens (+ parens 1)))
                 (t (if (eq? _symbol 'number) (set! numbers (+ numbers 1)) (set! identifiers (+ identifiers 1)))
                    (set! characters (+ characters (string-length (_lexer (get-token)))))))))
(Counter (define (end-of-parse _lexer) (set! ends (+ ends 1))))

(define (lisp-lexer)
  (let ((_l (linked Lexer)))
    (_l (add-state (state 'start
                          (trans Lexer-Trans-Charset 'num 1 1 nil Digits)
                          (trans Lexer-Trans-Charset 'ident 1 1 nil Ident-Start)
                          (trans Lexer-Trans-Char 'start 0 1 'paren 40)
                          (trans Lexer-Trans-Char 'start 0 1 'paren 41)
                          (trans Lexer-Trans-Charset 'start 0 1 nil White))))
    (_l (add-state (state 'num
                          (trans Lexer-Trans-Charset 'num 1 1 nil Digits)
                          (trans Lexer-Trans-Char 'frac 1 1 nil 46)
                          (trans Lexer-Trans 'start 3 0 'number nil))))
    (_l (add-state (state 'frac
                          (trans Lexer-Trans-Charset 'frac 1 1 nil Digits)
                          (trans Lexer-Trans 'start 3 0 'number nil))))
    (_l (add-state (state 'ident
                          (trans Lexer-Trans-Charset 'ident 1 1 nil Ident-Char)
                          (trans Lexer-Trans 'start 3 0 'identifier nil))))
    (_l (set-handler (linked Counter)))
    _l))

; 32 characters: 5 identifiers (12 characters), 2 numbers (7 characters), 6 parentheses.
(define Line (string-append "(define (f-1 x) (+ x 12.5 300))" (list->string '(10))))
(define (repeat-text _text _n) (if (= _n 0) "" (string-append _text (repeat-text _text (- _n 1)))))
(define Block (repeat-text Line 64))

(define (write-blocks _f _h _n)
  (when (> _n 0)
    (_f (write-block _h (string-length Block)))
    (write-blocks _f _h (- _n 1))))

(define Big-Text
  (let ((_f (make-instance obj-output-handle)) (_h (string->handle Block)))
    (_f (link-object)) (_f (open))
    (write-blocks _f _h 512)
    (dispose-handle _h)
    (_f (remove-handle))))

(define (input-over _handle)
  (let ((_s (make-instance obj-input-handle)))
    (_s (link-object)) (_s (set! handle _handle)) (_s (open)) _s))

(define (test-large)
  (let* ((_in (input-over Big-Text)) (_l (lisp-lexer)) (_h (_l (get-handler))))
    (check (_in (get-stream-length)) 1048576 "a text of 1 MB")
    (_l (run-automaton _in nil nil))
    (check (_h identifiers) (* 5 32768))
    (check (_h numbers) (* 2 32768))
    (check (_h parens) (* 6 32768))
    (check (_h characters) (* 19 32768))
    (check (_h ends) 1)
    (check (_l (get-stream-position)) 1048576)
    (_in (destroy-c))))
(test-large)

; A short text: the last token is finished by the end of the input.
(define (test-short)
  (let* ((_in (make-instance Input-Stream-String)) (_l (lisp-lexer)) (_h (_l (get-handler))))
    (_in (link-object)) (_in (set! target-string "(a1 2.5 zz")) (_in (open))
    (_l (run-automaton _in nil nil))
    (check (list (_h identifiers) (_h numbers) (_h parens)) '(1 1 1))
    (check (_l (get-token)) "zz" "the token at the end of the input")))
(test-short)

(dispose-handle Big-Text)
