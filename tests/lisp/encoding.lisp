; Base64-Stream and encode-url.

(define (string-stream _text)
  (let ((_s (make-instance Input-Stream-String)))
    (_s (link-object)) (_s (set! target-string _text)) (_s (open)) _s))
(define (output-handle)
  (let ((_s (make-instance obj-output-handle))) (_s (link-object)) (_s (open)) _s))
(define (b64-over _inner _l)
  (let ((_b (make-instance Base64-Stream)))
    (_b (link-object)) (_b (set! stream _inner)) (_b (set! line-length _l)) (_b (open)) _b))

; The text written through a Base64 stream with line length _l, closed.
(define (encode _text _l)
  (let* ((_out (output-handle)) (_b (b64-over _out _l)) (_h (string->handle _text)))
    (_b (write-block _h (string-length _text)))
    (dispose-handle _h)
    (_b (destroy-c))
    (let ((_r (handle->string (_out (get-handle))))) (_out (destroy-c)) _r)))

(define (read-all _b _acc)
  (let ((_c (readch _b)))
    (if (= _c 65535) (list->string (reverse _acc)) (read-all _b (cons _c _acc)))))

; (decoded-text length) of an encoded text read back with line length _l.
(define (decode _text _l)
  (let* ((_in (string-stream _text)) (_b (b64-over _in _l)) (_n (_b (get-stream-length)))
         (_r (list (read-all _b '()) _n (readch _b))))
    (_b (destroy-c)) (_in (destroy-c))
    _r))

(define CRLF (list->string '(13 10)))

; ---- The examples ----
(check (encode "abc" 76) (string-append "YWJj" CRLF) "three bytes: four characters and a line end")
(check (encode "a" 76) (string-append "YQ==" CRLF) "one byte: two characters, two fills")
(check (encode "ab" 76) (string-append "YWI=" CRLF) "two bytes: three characters, one fill")
(check (encode "ab" 0) "YWI=" "no line end with line length 0")
(check (encode "" 76) "" "nothing written, nothing to pad")
(check (encode "Man is distinguished" 0) "TWFuIGlzIGRpc3Rpbmd1aXNoZWQ=")

(define (text-from _i _n _acc)
  (if (= _i _n) (list->string (reverse _acc)) (text-from (+ _i 1) _n (cons (+ 1 (modulo (+ (* _i 37) 11) 255)) _acc))))
(define (text-of-length _n) (text-from 0 _n '()))

; A line end after every 76 characters.
(let ((_e (encode (text-of-length 120) 76)))
  (check (string-length _e) 166 "160 characters in lines of 76, 76 and 8, each with its line end")
  (check (substring _e 76 78) CRLF)
  (check (substring _e 154 156) CRLF))

; A line length that is not a multiple of 4 is rounded down: a line end never splits a group.
(check (encode "abcdef" 6) (string-append "YWJj" CRLF "ZGVm" CRLF))

; ---- Round trips: every length 0..300 at the usual line lengths ----
(define (round-trip _n _l)
  (let* ((_t (text-of-length _n)) (_d (decode (encode _t _l) _l)))
    (and (equal? (car _d) _t) (= (car (cdr _d)) _n) (= (car (cdr (cdr _d))) 65535))))

(define (all-lengths _l _n _bad)
  (if (> _n 300) _bad (all-lengths _l (+ _n 1) (if (round-trip _n _l) _bad (cons _n _bad)))))
(check (all-lengths 76 0 '()) '() "lengths 0..300, line length 76")
(check (all-lengths 0 0 '()) '() "lengths 0..300, no line ends")

; Every line length 0..80 over lengths around group and line boundaries.
(define (all-line-lengths _l _bad)
  (if (> _l 80) _bad
      (all-line-lengths (+ _l 1)
                        (if (and (round-trip 1 _l) (round-trip 2 _l) (round-trip 3 _l) (round-trip 59 _l)
                                 (round-trip 60 _l) (round-trip 61 _l) (round-trip 200 _l))
                            _bad (cons _l _bad)))))
(check (all-line-lengths 0 '()) '() "every line length 0..80")

; ---- Decoding ----
(check (car (decode "aGVsbG8" 0)) "hello" "the end of the input ends a group")
(check (car (cdr (decode "aGVsbG8" 0))) 5)
(check (car (decode (string-append "aGVs" (list->string '(10)) "bG8=" CRLF) 0)) "hello"
       "line ends are skipped wherever they stand")
(check (car (decode (list->string '(47 47 200 119)) 0)) (list->string '(255 240 48)) "bytes above 127 decode as 0")
(check (car (decode "Q" 0)) "" "a lone character gives no byte")

; Seeking and positions.
(define (test-seek)
 (let* ((_in (string-stream (encode "0123456789" 76))) (_b (b64-over _in 76)))
  (check (_b (get-stream-length)) 10)
  (_b (set-stream-pos 7))
  (check (_b (get-stream-pos)) 7)
  (check (readch _b) 55 "reads the byte after a seek")
  (check (_b (get-stream-pos)) 8)
  (check (_b (end-of-stream?)) nil)
  (_b (set-stream-pos 10))
  (check (_b (end-of-stream?)) t)
  (check-error 3 (lambda () (_b (write-block (string->handle "x") 1))) "written after reading")
  (_b (destroy-c)) (_in (destroy-c))))
(test-seek)

(define (test-modes)
 (let* ((_out (output-handle)) (_b (b64-over _out 76)))
  (_b (write-block (string->handle "xy") 2))
  (check (_b (get-stream-pos)) 2 "position while writing: bytes written")
  (check (_b (end-of-stream?)) t)
  (check-error 4 (lambda () (readch _b)) "read after writing")
  (_b (destroy-c)) (_out (destroy-c))))
(test-modes)

(define (test-no-inner)
 (let ((_b (make-instance Base64-Stream)))
  (_b (link-object))
  (_b (set! stream (make-instance Base64-Stream)))
  (check-error 69 (lambda () (_b (open))) "an inner instance without kernel object")
  (_b (destroy-c))))
(test-no-inner)

; A writer dropped without close writes nothing later (no padding from the collector).
(let* ((_out (output-handle)))
  (let ((_b (b64-over _out 76))) (_b (write-block (string->handle "a") 1)))
  (recycle)
  (check (handle->string (_out (get-handle))) "" "only a close writes the padding")
  (_out (destroy-c)))

; ---- encode-url ----
(define (url-encode _text)
  (let* ((_in (string-stream _text)) (_out (output-handle)))
    (encode-url _in _out)
    (let ((_r (handle->string (_out (get-handle))))) (_out (destroy-c)) (_in (destroy-c)) _r)))
(check (url-encode "a b/c") "a%20b%2Fc")
(check (url-encode "AZaz09") "AZaz09")
(check (url-encode (list->string '(233 32 45))) "%E9%20%2D")
(check (url-encode "") "")
(check-error 2 (lambda () (encode-url "text" nil)) "not streams")
