; The factorial of 1000 and its decimal text: big-integer multiplication by small factors, then
; the conversion of a 2568-digit number to text, which is printed.
; Run: velora --script bench/bigint.lisp
(define (factorial _n)
  (let ((_product 1) (_i 2))
    (while (<= _i _n)
      (set! _product (* _product _i))
      (set! _i (+ _i 1)))
    _product))

(princ (number->string (factorial 1000)))
