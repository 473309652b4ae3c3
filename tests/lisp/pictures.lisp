; Images in handles: recognition, measuring, modes and conversion.

(define (bytes->image _bytes)
  (let ((_h (new-handle (length _bytes))))
    (with-locked-handle _h
      (lambda (_p _n)
        (let ((_i 0))
          (for-each (lambda (_b) (mset 1 _b _p _i) (set! _i (+ _i 1))) _bytes))))
    _h))

(define (zeros _n) (if (= _n 0) nil (cons 0 (zeros (- _n 1)))))

; A version 2 picture, frame (0 0 8 8), holding one 8-bit PackBitsRect of 2 x 1 pixels (white,
; black) drawn at (1 3 3 4) with mode 100 (dither flag plus transparent).
(define Pict-Bytes
  (append '(0 0  0 0 0 0 0 8 0 8  0 17 2 255  12 0 255 255) (zeros 22)
          '(0 152  128 2  0 0 0 0 0 1 0 2
            0 0 0 0 0 0 0 0 0 72 0 0 0 72 0 0 0 0 0 8 0 1 0 8) (zeros 12)
          '(0 0 0 0 0 0 0 1  0 0 255 255 255 255 255 255  0 1 0 0 0 0 0 0
            0 0 0 0 0 1 0 2  0 3 0 1 0 4 0 3  0 100  0 1  0 255)))
(define Mode-Offset (- (length Pict-Bytes) 6))
(define P (bytes->image Pict-Bytes))

(check (list (is-image? P :picture) (is-image? P :jpeg) (is-image? P :bmp) (is-image? P :other))
       (list t nil nil nil))
(check (is-image-file? P :picture) nil)
(check (get-image-rect P nil) '(0 0 8 8))
(check (get-image-rect P :width) 8)
(check (get-image-bitmap-rect P nil) '(1 3 3 4) "the destination of the last bitmap")
(check (get-image-depth P) 8)
(check (get-image-mode P) 36 "the dither flag is cleared")
(check (eq? (set-image-mode P 0) (void)) t)
(check (get-image-mode P) 0)
(check (with-locked-handle P (lambda (_p _n) (mref 2 _p Mode-Offset))) 16384 "the dither flag stays in the data")

; A picture with no bitmap.
(define Shapes (bytes->image '(0 0  0 0 0 0 0 4 0 6  17 1  49 0 0 0 0 0 2 0 2  255)))
(check (is-image? Shapes :picture) t)
(check (get-image-rect Shapes nil) '(0 0 6 4))
(check (get-image-bitmap-rect Shapes nil) '(0 0 6 4) "the frame when there is no bitmap")
(check (list (get-image-mode Shapes) (get-image-depth Shapes)) (list nil nil))

; Conversions.
(define B (convert-image P :bmp 24 nil))
(check (list (is-image? B :bmp) (get-image-depth B) (get-image-rect B nil) (get-image-mode B))
       '(t 24 (0 0 8 8) 0))
(define B8 (convert-image B :bmp 8 nil))
(check (list (get-image-depth B8) (get-image-rect B8 :size)) '(8 (8 . 8)))
(check (get-image-depth (convert-image B :bmp 2 nil)) 4 "2 bits are kept in 4")
(check (equal? (handle->string (convert-image B :bmp nil nil)) (handle->string B)) t
       "a bitmap of its own depth is copied")
(define J (convert-image B :jpeg nil 90))
(check (list (is-image? J :jpeg) (get-image-depth J) (get-image-rect J nil) (get-image-bitmap-rect J nil))
       '(t 24 (0 0 8 8) (0 0 8 8)))
(check (is-image? (convert-image P :png nil nil) :jpeg) t "a picture to any other format gives JPEG")
(check (is-image? (convert-image B :png nil nil) :picture) t "a bitmap to any other format gives PICT")
(check (is-image? (convert-image J :bmp 24 nil) :bmp) t)
(check (get-image-rect (convert-image J :picture 16 nil) nil) '(0 0 8 8))
(check (is-image? (convert-image B :jpeg 3 -5) :jpeg) t "depth 3 becomes 8, quality -5 the default")

; PICT to PICT and back to a bitmap gives the same pixels.
(define P2 (convert-image P :picture nil nil))
(check (is-image? P2 :picture) t)
(check (equal? (handle->string (convert-image P2 :bmp 24 nil)) (handle->string (convert-image P :bmp 24 nil))) t)

; Bad input.
(define Junk (bytes->image '(1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16)))
(check (map (lambda (_f) (is-image? Junk _f)) '(:picture :bmp :jpeg :png)) (list nil nil nil nil))
(check-error 29 (lambda () (convert-image Junk :bmp nil nil)))
(check-error 29 (lambda () (get-image-bitmap-rect Junk nil)))
(check (get-image-depth Junk) nil)
(check (get-image-rect (bytes->image '(0 0 0 1 0 2)) nil) '(0 0 0 0) "shorter than a frame")
(check-error 2 (lambda () (get-image-rect 5 nil)))
(check-error 2 (lambda () (convert-image "text" :bmp nil nil)))
; A truncated picture measures without reading past its end.
(define Cut (bytes->image (reverse (cddr (reverse Pict-Bytes)))))
(check (get-image-mode Cut) 36 "the bitmap before the cut is read")
(check (get-image-bitmap-rect Cut nil) '(1 3 3 4))
(define Cut2 (bytes->image (reverse (list-tail (reverse Pict-Bytes) 20))))
(check (list (is-image? Cut2 :picture) (get-image-mode Cut2) (get-image-depth Cut2)) (list t nil nil))
(check (is-image? (convert-image Cut2 :bmp 8 nil) :bmp) t "what plays is drawn")

; JPEG round trip through convert-image: mean squared error below 65 (PSNR above 30 dB).
(define (pixel-bytes _image)
  (with-locked-handle _image
    (lambda (_p _n)
      (let ((_i 40) (_out nil))
        (while (< _i _n) (set! _out (cons (mref 1 _p _i) _out)) (set! _i (+ _i 1)))
        _out))))
(define Before (pixel-bytes B))
(define After (pixel-bytes (convert-image (convert-image B :jpeg nil 95) :bmp 24 nil)))
(check (length After) (length Before))
(define Squared 0)
(for-each (lambda (_a _b) (set! Squared (+ Squared (* (- _a _b) (- _a _b))))) Before After)
(check (< (/ Squared (length Before)) 65) t "JPEG at quality 95")
(check (equal? Before After) nil "JPEG is lossy: an exact match would mean no JPEG was made")
; A packed bitmap whose pixels are cut short still measures by its header; converting it is refused.
(define Short-Bitmap (bytes->image (reverse (list-tail (reverse (append (zeros 40) Before)) 10))))
(with-locked-handle Short-Bitmap
  (lambda (_p _n) (mset 4 40 _p 0) (mset 4 8 _p 4) (mset 4 8 _p 8) (mset 2 1 _p 12) (mset 2 24 _p 14)))
(check (list (is-image? Short-Bitmap :bmp) (get-image-rect Short-Bitmap nil) (get-image-depth Short-Bitmap))
       '(t (0 0 8 8) 24))
(check-error 29 (lambda () (convert-image Short-Bitmap :jpeg nil nil)))
