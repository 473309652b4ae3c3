; format: the directive table, prefix parameters, modifiers and errors.

(define CR (char 13))
(define TAB (char 9))
(define DQ (char 34))
(define BS (char 92))

; Each case is (CONTROL ARGS EXPECTED-FORM): (format t CONTROL . ARGS) must give the value of
; EXPECTED-FORM. Quoted data is read as written, so () stands for nil among the arguments.
(define (check-format _cases)
  (for-each
   (lambda (_c)
     (check (apply format t (car _c) (car (cdr _c))) (eval (car (cdr (cdr _c)))) _c))
   _cases))

(check-format
 '(("~a-~a" (1 2) "1-2")
   ("plain text" () "plain text")
   ("" () "")
   ("~A|~W|~Y" ("x" "x" "x") (string-append "x|" DQ "x" DQ "|" DQ "x" DQ))
   ("~a" ((1 "b" c)) "(1 b c)")
   ("~w" ((1 "b" c)) (string-append "(1 " DQ "b" DQ " c)"))))

; Padding of ~a and ~x: mincol (parameter 1), pad character (parameter 4), @ pads on the left.
(check-format
 '(("~5a|" (ab) "ab   |")
   ("~5@a|" (ab) "   ab|")
   ("~5,,,'*a|" (ab) "ab***|")
   ("~5,,,'*@a|" (ab) "***ab|")
   ("~5,,,42a|" (ab) "ab***|")
   ("~2a|" (abc) "abc|")
   ("~0a|" (abc) "abc|")
   ("~-3a|" (abc) "abc|")
   ("~va|" (4 x) "x   |")
   ("~#a|~a~a" (x y z) "x  |yz")
   ("~x" (255) "ff")
   ("~x" (-255) "-ff")
   ("~x" (0) "0")
   ("~4x|" (255) "ff  |")
   ("~4@x|" (255) "  ff|")
   ("~4,,,'0@x" (171) "00ab")))

; ~w writes a string with a backslash before the double quote; ~a writes it bare.
(define Quoted (string-append "a" DQ "b"))
(check (format t "~w" Quoted) (string-append DQ "a" BS DQ "b" DQ))
(check (format t "~a" Quoted) Quoted)
(check (format t "~w" (string-append "c" BS)) (string-append DQ "c" BS BS DQ))

; Characters, line ends, tabs, the decimal separator.
(check-format
 '(("~c" (65) "A")
   ("~3c" (66) "BBB")
   ("~c" (321) "A")
   ("~0c|" (65) "|")
   ("a~%b" () (string-append "a" CR "b"))
   ("~3%" () (string-append CR CR CR))
   ("~0%" () "")
   ("~t|~2t" () (string-append TAB "|" TAB TAB))
   ("1~.5" () "1.5")
   ("~~" () "~")))

; ~f: like the C conversions, then leading blanks dropped and the text cut at the first blank.
(check-format
 '(("~f" (3.5) "3.5")
   ("~f" (0.1) "0.1")
   ("~f" (2) "2")
   ("~f|" (1234567.0) "1.23457e+06|")
   ("~,2f" (3.14159) "3.14")
   ("~,0f" (2.75) "3")
   ("~8,3f|" (2.5) "2.500|")
   ("~10f|" (1e20) "1e+20|")
   ("~10f|" (2.5) "2.5|")
   ("~-10,2f|" (2.5) "2.50|")
   ("~f" (-0.5) "-0.5")))

; ~p: with : the previous argument again; s when the number is at least 2.
(check-format
 '(("cat~p" (0) "cat")
   ("cat~p" (1) "cat")
   ("cat~p" (2) "cats")
   ("cat~p" (2.5) "cats")
   ("~a cat~:p" (1) "1 cat")
   ("~a cat~:p" (3) "3 cats")))

; Moving among the arguments.
(check-format
 '(("~*~a" (1 2) "2")
   ("~2*~a" (1 2 3) "3")
   ("~a~:*~a" (1) "11")
   ("~a~a~2:*~a" (1 2) "121")
   ("~a~a~@*~a" (1 2) "121")
   ("~2@*~a~0@*~a" (1 2 3) "31")
   ("~#*" (1 2) "")))

; Conditionals.
(check-format
 '(("~[a~;b~;c~]" (0) "a")
   ("~[a~;b~;c~]" (1) "b")
   ("~[a~;b~;c~]" (2) "c")
   ("~[a~;b~]!" (0) "a!")
   ("~[a~;b~]" (65537) "b")
   ("~1[a~;b~]" () "b")
   ("~[a~;b~:;c~]" (1) "b")
   ("~[a~;b~:;c~]" (2) "c")
   ("~[a~;b~:;c~]" (99) "c")
   ("~[~:;d~]" (0) "")
   ("~[~:;d~]" (1) "d")
   ("~:[no~;yes~]" (()) "no")
   ("~:[no~;yes~]" (5) "yes")
   ("~:[no~;~a~]" (t 7) "7")
   ("~@[x~a~]y" (5) "x5y")
   ("~@[x~a~]y~a" (() 7) "y7")
   ("~[a~]~[b~]" (0 0) "ab")
   ("~[~a~;~a~a~]~a" (1 x y z) "xyz")))

; The control is the text of any value; errors use the engine too.
(check (format t 'abc) "abc")
(check (format t 12) "12")
(check (format nil "") t)
(check-error 2 (lambda () (format 5 "x")) "destination neither t nor a stream")
(check (error-value (lambda () (error "x~a-~a" 1 'b))) "x1-b")
; The result of one format may be the argument of another.
(check (format t "[~a]" (format t "~3@a" 'x)) "[  x]")

; Errors: the wrong-type error with nil, or with the culprit argument.
(define (test-errors)
  (for-each
   (lambda (_c)
     (check (error-of (lambda () (apply format t (car _c) (car (cdr _c)))))
            (list 'error 1010 2 (eval (car (cdr (cdr _c)))))
            _c))
   '(("~d" (1) nil)
     ("~q" () nil)
     ("~a" () nil)
     ("~a ~a" (1) nil)
     ("~" () nil)
     ("~5" () nil)
     ("~'" () nil)
     ("~;" () nil)
     ("~]" () nil)
     ("a~:;b" () nil)
     ("~[a~[b~]~]" (0 0) nil)
     ("~[a" (0) nil)
     ("~[a~;b" (1) nil)
     ("~[a~;b~;c~]" (3) nil)
     ("~:[a~]" (1) nil)
     ("~5[a~;b~]" () nil)
     ("~[a~]" () nil)
     ("~1,2,3,4,5,6,7,8a" (x) nil)
     ("~99999999999a" (x) nil)
     ("~:*" () nil)
     ("~a~2:*" (1) nil)
     ("~2*" (1) nil)
     ("~3@*" (1 2) nil)
     ("~:p" () nil)
     ("~p" () nil)
     ("~c" () nil)
     ("~va" () nil)
     ("~i" (5) 5)
     ("~:i" (7 1) 7)
     ("~va" (x y) 'x)
     ("~x" (1.5) 1.5)
     ("~x" (a) 'a)
     ("~f" ("a") "a")
     ("~c" ("a") "a")
     ("~p" (a) 'a)
     ("~[a~;b~]" (x) 'x))))
(test-errors)
