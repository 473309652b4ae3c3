; Character-set conversion of buffers and strings, line-feed removal and strings from buffers.
; Bytes go in and out of a memory pointer with mset and mref.

(define (cp . _codes) (list->string _codes))
(define P (new-ptr 16))
(define (fill . _codes) (let ((_i 0)) (for-each (lambda (_c) (mset 1 _c P _i) (set! _i (+ _i 1))) _codes)))
(define (bytes _n) (let ((_l nil)) (while (> _n 0) (set! _n (- _n 1)) (set! _l (cons (mref 1 P _n) _l))) _l))

; Each case: (bytes-before function-and-extra-arguments answer bytes-after); the function gets P
; and the count of bytes (iso->mac: P, an ignored argument, the count).
(define (check-conversion _before _call _answer _after)
  (apply fill _before)
  (check (list (_call (length _before)) (bytes (length _before))) (list _answer _after) (list _before _after)))

(check-conversion '(142 65) (lambda (_n) (mac->ibm-ptr P _n nil)) nil '(233 65))
(check-conversion '(173) (lambda (_n) (mac->ibm-ptr P _n nil)) 173 '(173))
(check-conversion '(65 176 142 173) (lambda (_n) (mac->ibm-ptr P _n nil)) 176 '(65 176 233 173))
(check-conversion '(219 217 13 10 9) (lambda (_n) (mac->ibm-ptr P _n nil)) nil '(164 159 13 10 9))
(check-conversion '(18 5 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(18 5 233))
(check-conversion '(18 5 142) (lambda (_n) (mac->ibm-ptr P _n nil)) 18 '(18 5 233))
; Tokens of compiled units: 0x10-0x1F and 0x0F take one byte after them, 0x08, 0x0C and 0x0E two;
; other control bytes stay as they are and do not count as unconverted.
(check-conversion '(15 142 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(15 142 233))
(check-conversion '(8 142 142 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(8 142 142 233))
(check-conversion '(12 142 142 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(12 142 142 233))
(check-conversion '(14 142 142 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(14 142 142 233))
(check-conversion '(1 142 7) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(1 233 7))
(check-conversion '(142 8 142) (lambda (_n) (mac->ibm-ptr P _n t)) nil '(233 8 142))
(check-conversion '(233 164 128) (lambda (_n) (ibm->mac-ptr P _n nil)) 128 '(142 219 128))
(check-conversion '(233 97) (lambda (_n) (ibm->mac-ptr P _n nil)) nil '(142 97))
(check-conversion '(233) (lambda (_n) (iso->mac P 'ignored _n nil)) 1 '(142))
(check-conversion '(209 233) (lambda (_n) (iso->mac P 'ignored _n nil)) '(209) '(209 142))
; A count of 0 converts nothing; a count beyond the buffer is refused and leaves it unchanged.
(fill 142)
(check (mac->ibm-ptr P 0 nil) nil)
(check (bytes 1) '(142))
(check-error 2 (lambda () (mac->ibm-ptr P 17 nil)))
(check (error-value (lambda () (ibm->mac-ptr P 17 nil))) 17)
(check-error 2 (lambda () (iso->mac P 0 -1 nil)))
(check (bytes 1) '(142))
(check-error 2 (lambda () (mac->ibm-ptr 'p 1 nil)))
; Strings are buffers too (converted in place).
(define S (copy-string (cp 142 116 142)))
(check (mac->ibm-ptr S 3 nil) nil)
(check S (cp 233 116 233))
(check-error 2 (lambda () (mac->ibm-ptr S 4 nil)))

; The string forms answer a new string, or nil when a character has no equivalent.
(check (mac->ibm-string (cp 142 116 142)) (cp 233 116 233))
(check (ibm->mac-string (cp 233 116 233)) (cp 142 116 142))
(check (mac->ibm-string (cp 65 173)) nil)
(check (ibm->mac-string (cp 128)) nil)
(check (mac->ibm-string 'abc) "abc")
(check (mac->ibm-string 42) "42")
(check (ibm->mac-string "") "")
(define Original (cp 142 65))
(mac->ibm-string Original)
(check Original (cp 142 65) "the argument is left as it was")

; remove-cr-lf deletes line feeds in place and answers the new count.
(fill 97 13 10 98)
(check (remove-cr-lf P 4) 3)
(check (bytes 3) '(97 13 98))
(fill 10 10 120 10)
(check (remove-cr-lf P 4) 1)
(check (bytes 1) '(120))
(check (remove-cr-lf P 0) 0)
(check-error 2 (lambda () (remove-cr-lf P 20)))

; buffer-get-string: the bytes between the two offsets, in either order.
(check (buffer-get-string "hello world" 0 8 2) "llo wo")
(check (buffer-get-string "hello world" 0 2 8) "llo wo")
(check (buffer-get-string "hello world" 0 0 11) "hello world")
(check (buffer-get-string "hello" 0 3 3) "")
(check (buffer-get-string (string->handle "a handle") 0 2 8) "handle")
(fill 104 105 0 106)
(check (buffer-get-string P 0 0 4) "hi" "a string ends before the byte 0")
(check (error-value (lambda () (buffer-get-string "hello" 0 2 6))) 6)
(check (error-value (lambda () (buffer-get-string "hello" 0 9 1))) 9)
(check-error 2 (lambda () (buffer-get-string "hello" 0 -1 2)))
