; Compression of handles: round trips, the size prefix, damaged data and the errors. Handles are
; filled from and read into lists of byte codes (strings cannot hold the byte 0).

(define (bytes->handle _codes)
  (let ((_h (new-handle (length _codes))))
    (with-locked-handle _h
      (lambda (_p _n)
        (let ((_i 0))
          (for-each (lambda (_c) (mset 1 _c _p _i) (set! _i (+ _i 1))) _codes))))
    _h))
(define (handle->bytes _h)
  (if _h
      (let ((_l nil))
        (with-locked-handle _h
          (lambda (_p _n)
            (while (> _n 0) (set! _n (- _n 1)) (set! _l (cons (mref 1 _p _n) _l)))))
        _l)
      nil))
(define (iota-bytes _n _f)
  (let ((_l nil))
    (while (> _n 0) (set! _n (- _n 1)) (set! _l (cons (_f _n) _l)))
    _l))
(define (compressed _codes) (handle->bytes (compress-data (bytes->handle _codes))))
(define (uncompressed _codes) (handle->bytes (uncompress-data (bytes->handle _codes))))
(define (first-n _l _n) (if (or (= _n 0) (null? _l)) nil (cons (car _l) (first-n (cdr _l) (- _n 1)))))
(define (after-n _l _n) (if (or (= _n 0) (null? _l)) _l (after-n (cdr _l) (- _n 1))))

(define All-Codes (iota-bytes 256 (lambda (_i) _i)))
(define Zeros (iota-bytes 5000 (lambda (_i) 0)))
(define Noise (iota-bytes 1000 (lambda (_i) (modulo (* _i _i 7919) 251))))

; Round trips over data of every kind: one byte, the byte 0, all codes, repetitive, longer than
; 64 KB, hard to compress.
(for-each
 (lambda (_codes)
   (check (equal? (uncompressed (compressed _codes)) _codes) t (list 'round-trip (length _codes))))
 (list '(120) '(0) All-Codes Zeros Noise))

; Long data goes through strings, which are made in few allocations.
(define (repeat-string _s _n) (if (= _n 1) _s (string-append _s (repeat-string _s (- _n 1)))))
(define Long-Text (repeat-string (repeat-string "abcdefghijklmnopqrstuvwxyz" 27) 100))
(define Long-Compressed (compress-data (string->handle Long-Text)))
(check (handle->string (uncompress-data Long-Compressed)) Long-Text "more than 64 KB")

; The prefix holds the length, least significant byte first; then a zlib stream (RFC 1950): 0x78
; and a check byte whose level bits say level 9 (0xDA).
(check (first-n (handle->bytes Long-Compressed) 6) (list (modulo 70200 256) (modulo (quotient 70200 256) 256) 1 0 120 218))
(check (first-n (compressed '(97 98 99)) 4) '(3 0 0 0))
(check (< (get-handle-size Long-Compressed) 1000) t "level 9 shrinks repetition")

; Damaged data answers nil and keeps the process running.
(define Good (handle->bytes Long-Compressed))
(define Body (after-n Good 4))
(define (with-prefix _n _rest)
  (append (list (modulo _n 256) (modulo (quotient _n 256) 256) (modulo (quotient _n 65536) 256) 0) _rest))
(for-each
 (lambda (_c) (check (uncompressed (car (cdr _c))) nil (car _c)))
 (list
  (list "truncated stream" (first-n Good (- (length Good) 5)))
  (list "prefix only" (first-n Good 4))
  (list "shorter than the prefix" '(1 0))
  (list "three bytes" '(1 0 0))
  (list "announced length too small" (with-prefix 70199 Body))
  (list "announced length too large" (with-prefix 70201 Body))
  (list "no zlib stream" (with-prefix 10 '(1 2 3 4 5 6 7 8 9)))
  (list "absurd announced length" '(255 255 255 127 120 218 1 2))
  (list "flipped byte" (append (first-n Good 20) (list (- 255 (car (after-n Good 20)))) (after-n Good 21)))))

; Error 60: a handle of size 0, and compressed data that announces the length 0.
(check-error 60 (lambda () (compress-data (new-handle 0))))
(check-error 60 (lambda () (uncompress-data (new-handle 0))))
(check-error 60 (lambda () (uncompress-data (bytes->handle '(0 0 0 0 120 218)))))
(check-error 2 (lambda () (compress-data "text")))
(check-error 2 (lambda () (uncompress-data 12)))
(check-error 2 (lambda () (uncompress-data (new-ptr 8))))
