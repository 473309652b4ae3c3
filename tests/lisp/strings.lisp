; Strings and characters: the code page 1252 tables, ordering, every string primitive.
; The file stays ASCII: characters above 127 are written as codes and built with cp.

(define (cp . _codes) (list->string _codes))

; Each case is (FORM EXPECTED-FORM); both are evaluated, the results compared with equal?.
(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (eval (car (cdr _c))) _c)) _cases))

; Each case is (CODE EXPECTED) for a function of one code.
(define (check-codes _f _cases)
  (for-each (lambda (_c) (check (_f (car _c)) (car (cdr _c)) (list _f _c))) _cases))

; ---- Character tables ----

; (code upper-case lower-case): a few codes of every mapped range, its ends and the holes.
(define Case-Cases
  '((97 65 97) (122 90 122) (65 65 97) (90 90 122) (64 64 64) (91 91 91) (123 123 123)
    (156 140 156) (140 140 156) (159 159 255) (255 159 255)
    (224 192 224) (239 207 239) (192 192 224) (207 207 239)
    (240 240 240) (208 208 208)
    (241 209 241) (246 214 246) (209 209 241) (214 214 246)
    (247 247 247) (215 215 215)
    (248 216 248) (252 220 252) (216 216 248) (220 220 252)
    (253 253 253) (221 221 221) (254 254 254) (222 222 222) (7 7 7)))

(define (test-case-tables)
  (for-each
   (lambda (_c)
     (check (upper-char (car _c)) (car (cdr _c)) (list 'upper _c))
     (check (lower-char (car _c)) (car (cdr (cdr _c))) (list 'lower _c))
     (check (upper-string (cp (car _c))) (cp (car (cdr _c))) (list 'upper-string _c))
     (check (lower-string (cp (car _c))) (cp (car (cdr (cdr _c)))) (list 'lower-string _c)))
   Case-Cases))
(test-case-tables)

; (code accent-free-code)
(check-codes (lambda (_c) (ascii (remove-accent (cp _c))))
  '((159 89) (192 65) (197 65) (198 198) (199 67) (200 69) (203 69) (204 73) (207 73)
    (208 208) (209 209) (210 79) (214 79) (215 215) (216 216) (217 85) (220 85) (221 221)
    (224 97) (229 97) (230 230) (231 99) (232 101) (235 101) (236 105) (239 105)
    (240 240) (241 241) (242 111) (246 111) (248 248) (249 117) (252 117) (253 253) (255 121)
    (97 97) (90 90)))

; Collation seen through string-nocase=? with accents ignored, and through upper case only.
(check-cases
 '(((string-nocase=? (cp 233) "E" t) t)
   ((string-nocase=? (cp 233) "E" nil) nil)
   ((string-nocase=? (cp 233) (cp 201) nil) t)
   ((string-nocase=? "abc" "ABC" nil) t)
   ((string-nocase=? "abc" "ABC" (void)) t)
   ((string-nocase=? "abc" "ABD" t) nil)
   ((string-nocase=? "abc" "ab" t) nil)
   ((string-nocase=? (cp 255) "Y" t) t)
   ((string-nocase=? (cp 159) "y" t) t)
   ((string-nocase=? (cp 156) (cp 140) t) t)
   ((string-nocase=? (cp 229 231 232 236 242 249) "ACEIOU" t) t)
   ((string-nocase=? (cp 197 199 203 207 214 220) "aceiou" t) t)
   ((string-nocase=? (cp 241) "N" t) nil)
   ((string-nocase=? (cp 241) (cp 209) t) nil)
   ((string-nocase=? (cp 241) (cp 209) nil) t)
   ((string-nocase=? (cp 230) (cp 198) t) nil)
   ((string-nocase=? 'abc "ABC" nil) t)))

(check-codes alpha-char?
  '((55 t) (48 t) (57 t) (65 t) (122 t) (140 t) (156 t) (159 t) (192 t) (214 t) (215 ())
    (216 t) (246 t) (247 ()) (248 t) (255 t) (32 ()) (47 ()) (58 ()) (64 ()) (91 ())
    (138 ()) (154 ()) (191 ()) (0 ())))
; Only the low byte of a character counts.
(check (upper-char (+ 256 97)) 65)
(check (alpha-char? (+ 512 65)) t)

; ---- Ordering ----

; Quoted data is read as written: nil inside a quoted list is the symbol, so () stands for false.
; (a b order): order -1, 0 or +1; every one of the four predicates is checked against it.
(define Order-Cases
  (list (list "apple" "Banana" -1) (list "Banana" "apple" 1) (list "A" "a" -1) (list "a" "A" 1)
        (list "e" (cp 233) -1) (list (cp 233) "e" 1) (list (cp 233 97) "eb" -1)
        (list "eb" (cp 233 97) 1) (list "abc" "abc" 0) (list "" "" 0) (list "" "a" -1)
        (list "a" "" 1) (list "ab" "abc" -1) (list "abc" "ab" 1) (list "ab" "AB" 1)
        (list "Ab" "aB" -1) (list "aB" "Ab" 1) (list "abX" "ABc" 1) (list "abc" "ABd" -1)
        (list "Abc" "aB" 1) (list "aB" "Abc" -1) (list "Z" (cp 241) -1) (list (cp 209) "z" 1)
        (list (cp 201 116 101) "ete" 1) (list 'abc "abd" -1) (list 12 "12" 0)
        (list (cp 255) "Z" -1) (list "Y" (cp 255) -1)))

(define (expected-order _order)
  (if (< _order 0) '(t t () ()) (if (= _order 0) '(() t () t) '(() () t t))))

(define (test-ordering)
  (for-each
   (lambda (_c)
     (let ((_a (car _c)) (_b (car (cdr _c))))
       (check (list (string<? _a _b) (string<=? _a _b) (string>? _a _b) (string>=? _a _b))
              (expected-order (car (cdr (cdr _c))))
              _c)))
   Order-Cases))
(test-ordering)

(check-cases
 '(((string=? "a" "A") nil)
   ((string=? "abc" "abc") t)
   ((string=? "abc" "abcd") nil)
   ((string=? 'abc "abc") t)
   ((string=? 1.5 "1.5") t)
   ((string/=? "a" "A") t)
   ((string/=? "a" "a") nil)))

; ---- Construction and conversion ----

(define Shared "shared")
(define Greeting "hello")

(check-cases
 '(((eq? (string-append) "") t)
   ((eq? (string-append "" "") (string-append)) t)
   ((string-append "a" 1 'b) "a1b")
   ((string-append "" "x" "" "y") "xy")
   ((eq? (string-append "" Shared) Shared) t)
   ((string-append 'ab) "ab")
   ((string-append "a" 2.5 '(1 2)) "a2.5(1 2)")
   ((eq? (string Shared) Shared) t)
   ((string 42) "42")
   ((string -7) "-7")
   ((string 'sym) "sym")
   ((string '(a "b" 3)) "(a b 3)")
   ((eq? (symbol->string 'abc) (symbol->string 'abc)) t)
   ((eq? (string 'abc) (symbol->string 'abc)) t)
   ((symbol->string 'hello) "hello")
   ((string->symbol "hello") 'hello)
   ((eq? (string->symbol (string-append "hel" "lo")) 'hello) t)
   ((make-string 3) "   ")
   ((eq? (make-string 0) "") t)
   ((char 65) "A")
   ((char (+ 256 66)) "B")
   ((ascii "ABC") 65)
   ((ascii (cp 233)) 233)
   ((ascii "") 0)
   ((copy-string "abc") "abc")
   ((eq? (copy-string Shared) Shared) nil)
   ((copy-string 'sym) "sym")
   ((string-reverse "abc") "cba")
   ((string-reverse "") "")
   ((string-length "hello") 5)
   ((string-length "") 0)
   ((string-length 'abcd) 4)
   ((string-length 123) 3)
   ((string-ref "abc" 0) 97)
   ((string-ref "abc" 2) 99)
   ((string-ref (cp 255) 0) 255)
   ((string->list "abc") '(97 98 99))
   ((string->list "") nil)
   ((string->list (cp 233 255)) '(233 255))
   ((list->string '(104 105)) "hi")
   ((eq? (list->string nil) "") t)
   ((string? "a") t)
   ((string? 'a) nil)
   ((string? 97) nil)
   ((char? 97) t)
   ((char? -1) t)
   ((char? "a") nil)
   ((char? 1.0) nil)
   ((empty-string? "") t)
   ((empty-string? " ") nil)
   ((empty-string? nil) nil)
   ((empty-string? 'a) nil)))

(define (test-string-set)
  (let ((_s (copy-string "abc")))
    (check (string-set! _s 1 66) 66)
    (check _s "aBc")
    (check (string-set! _s 2 (+ 256 68)) (+ 256 68) "low byte stored")
    (check _s "aBD"))
  (let ((_name (copy-string (symbol->string 'abc))))
    (string-set! _name 0 65)
    (check _name "Abc" "a copy of a print name changes")
    (check (error-of (lambda () (string-set! (symbol->string 'abc) 0 65)))
           (list 'error 1010 2 "abc") "a print name does not")
    (check (eq? (string->symbol "abc") 'abc) t "the symbol is still found")))
(test-string-set)

; ---- Substrings and searches ----

(check-cases
 '(((substring "hello" -3 nil) "llo")
   ((eq? (substring "hello" 3 2) "") t)
   ((substring "hello" 1 3) "el")
   ((substring "hello" 0 nil) "hello")
   ((substring "hello" 2 99) "llo")
   ((substring "hello" -99 2) "he")
   ((substring "hello" 1 -1) "ell")
   ((substring "hello" -2 -1) "l")
   ((eq? (substring "hello" 7 9) "") t)
   ((eq? (substring "hello" 7 nil) "") t)
   ((substring "hello" nil 2) "he")
   ((string-position 108 "hello" nil nil nil) 2)
   ((string-position 108 "hello" nil nil 3) 3)
   ((string-position 108 "hello" nil nil 4) nil)
   ((string-position 122 "hello" nil nil nil) nil)
   ((string-position (+ 256 104) "hello" 'x 'y 0) 0)
   ((string-position 104 "hello" nil nil 99) nil)
   ((memstring "lo" "hello" nil) "lo")
   ((eq? (memstring "he" Greeting nil) Greeting) t)
   ((eq? (memstring "" Greeting nil) Greeting) t)
   ((memstring "LL" "hello" nil) nil)
   ((memstring "LL" "hello" t) "llo")
   ((memstring (cp 201) (cp 97 233 98) t) (cp 233 98))
   ((memstring "hellos" "hello" t) nil)
   ((memstring 'el "hello" nil) "ello")
   ((memstring "3" 1234 nil) "34")))

; ---- Case primitives ----

(check-cases
 '(((lower-string (cp 196 214)) (cp 228 246))
   ((upper-string (cp 224 233)) (cp 192 201))
   ((upper-string "Hello, World 1") "HELLO, WORLD 1")
   ((lower-string "Hello, World 1") "hello, world 1")
   ((upper-string 'abc) "ABC")
   ((remove-accent (cp 233 108 232 118 101)) "eleve")
   ((capitalize-word "hello world") "Hello world")
   ((capitalize-word (cp 233 116 233)) (cp 201 116 233))
   ((eq? (capitalize-word "") "") t)
   ((eq? (upper-string "") "") t)))

; ---- Blanks ----

(define Plain "x")
(define Tabbed (string-append (char 9) "a b" (char 13) (char 10)))

(check-cases
 '(((strip-spaces "  x " nil) "x")
   ((eq? (strip-spaces Plain nil) Plain) t)
   ((strip-spaces Tabbed nil) "a b")
   ((eq? (strip-spaces "  " nil) "") t)
   ((strip-spaces "--x-y-" '(45)) "x-y")
   ((strip-spaces " -x- " '(45 32)) "x")
   ((strip-spaces " x " '(45)) " x ")
   ((strip-all-spaces Tabbed nil) "ab")
   ((strip-all-spaces "a-b-c" '(45)) "abc")
   ((eq? (strip-all-spaces Plain nil) Plain) t)
   ((eq? (strip-all-spaces "b a" (string->list "ab ")) "") t)
   ((eq? (strip-all-spaces (string-append (char 9) " " (char 13)) nil) "") t)
   ((string-every '(97 98) "abba" nil nil) t)
   ((string-every '(97 98) "abc" nil nil) nil)
   ((string-every '(97) "xaay" 1 3) t)
   ((string-every '(97) "xaay" 1 nil) nil)
   ((string-every '(97) "xaa" 1 99) t)
   ((string-every nil "abc" 2 2) t)
   ((string-every nil "" nil nil) t)
   ((string-every '(120) "abc" 5 nil) t)))

; ---- Entities ----

(define Entities '(("amp" "&" t) ("lt" "<" t) ("gt" ">" ()) ("nbsp" "" t) ("ae" "ae" t)))
(define Entity-Text "no entity here")

(check-cases
 '(((decode-entities "a&amp;b&x" '(("amp" "&"))) "a&b&x")
   ((decode-entities "&lt;tag&gt;" Entities) "<tag>")
   ((decode-entities "a&x&amp;" Entities) "a&x&")
   ((decode-entities "&&amp;" Entities) "&&")
   ((decode-entities "&;&amp" Entities) "&;&amp")
   ((decode-entities "&AMP;" Entities) "&AMP;")
   ((decode-entities "&amp;lt;" Entities) "&lt;")
   ((decode-entities "&a;" '(("a" "1") ("a" "2"))) "1")
   ((decode-entities "x&unknown;y" Entities) "x&unknown;y")
   ((eq? (decode-entities Entity-Text Entities) Entity-Text) t)
   ((encode-entities "a<b>&c" Entities) "a&lt;b>&amp;c")
   ((encode-entities "caesar" Entities) "c&ae;sar")
   ((encode-entities "ab a" '(("x" "ab" t) ("y" "a" t))) "&x; &y;")
   ((encode-entities "ab a" '(("y" "a" t) ("x" "ab" t))) "&y;b &y;")
   ((encode-entities "a<b" '(("lt" "<"))) "a<b")
   ((eq? (encode-entities Entity-Text Entities) Entity-Text) t)))
(define Amp "a&amp;")
(check (eq? (decode-entities Amp nil) Amp) t "nil table: the argument itself")

; ---- Word-sequence similarity ----

(define (words _n) (if (= _n 0) nil (cons "w" (words (- _n 1)))))

(check-cases
 '(((match-segment-pourcentage '("a" "b" "c") '("a" "x" "c")) 66)
   ((match-segment-pourcentage nil '("a")) 0)
   ((match-segment-pourcentage '("a") nil) 0)
   ((match-segment-pourcentage '("a" "b") '("a" "b")) 100)
   ((match-segment-pourcentage '("a") '("b")) 0)
   ((match-segment-pourcentage '("a" "b") '("b" "a")) 50)
   ((match-segment-pourcentage '("x" "a" "b" "c") '("a" "b" "c")) 75)
   ((match-segment-pourcentage '("a" "b") '("a" "b" "c" "d")) 50)
   ((match-segment-pourcentage '("a" "x" "b" "y" "c") '("a" "b" "c")) 60)
   ((match-segment-pourcentage (words 200) (words 200)) 100)))

; ---- Handles and pointers ----

(check-cases
 '(((handle->string (string->handle "hello")) "hello")
   ((handle->string (string->handle "")) "")
   ((handle->string (string->handle (cp 233 255))) (cp 233 255))))

; ---- Errors ----

(check (error-value (lambda () (string-ref "abc" 3))) 3 "index at the length")
(check (error-value (lambda () (string-ref "abc" -1))) -1 "negative index")
(check (error-value (lambda () (string-ref "abc" 'x))) 'x "index not an integer")
(check (error-value (lambda () (string-set! (copy-string "abc") 5 65))) 5 "set index")
(check (error-value (lambda () (string-set! (copy-string "abc") 0 0))) 0 "no byte 0 in a string")
(check (error-value (lambda () (make-string -1))) -1 "negative length")
(check (error-value (lambda () (list->string '(97 "b")))) "b" "element not a character")
(check (error-value (lambda () (string->list 'abc))) 'abc "string->list of a symbol")
(check (error-value (lambda () (match-segment-pourcentage (words 201) '("w")))) (words 201)
       "more than 200 words")
(define (test-errors)
  (for-each
   (lambda (_thunk) (check-error 2 _thunk _thunk))
   (list (lambda () (string-set! "abc" 0 65.5))
         (lambda () (string-set! (symbol->string 'abc) 0 65))
         (lambda () (string-set! 'abc 0 65))
         (lambda () (list->string '(97 . 98)))
         (lambda () (list->string '(97 0)))
         (lambda () (char 0))
         (lambda () (char "a"))
         (lambda () (upper-char 'a))
         (lambda () (alpha-char? nil))
         (lambda () (string->symbol 5))
         (lambda () (substring 'abc 0 1))
         (lambda () (substring "abc" 'x nil))
         (lambda () (string-position 97 'abc nil nil nil))
         (lambda () (string-position 97 "abc" nil nil -1))
         (lambda () (strip-spaces 5 nil))
         (lambda () (strip-spaces "a" 5))
         (lambda () (string-every '(97) "a" -1 nil))
         (lambda () (ascii 65))
         (lambda () (decode-entities "&a;" '(("a" 1))))
         (lambda () (decode-entities "&a;" '(x)))
         (lambda () (encode-entities "a" '(("a"))))
         (lambda () (match-segment-pourcentage '("a" . "b") '("a")))
         (lambda () (handle->string "abc"))
         (lambda () (string->handle 'abc))
         (lambda () (ptr->string "abc"))
         (lambda () (ptr->string (string->handle "abc")))
         (lambda () (text->string (string->handle "abc") 2))
         (lambda () (put-string "abc" 5))
         (lambda () (put-string-text "abc" (string->handle "abc"))))))
(test-errors)
