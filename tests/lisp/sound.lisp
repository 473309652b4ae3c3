; Sound: the result codes of the players, the header queries and conversions of WAVE, AIFF and
; snd data, sounds from resources, the volume and the recording errors. Handles and files are
; filled from lists of byte codes.

(define (bytes->handle _codes)
  (let ((_h (new-handle (length _codes))) (_i 0))
    (with-locked-handle _h
      (lambda (_p _n) (for-each (lambda (_c) (mset 1 _c _p _i) (set! _i (+ _i 1))) _codes)))
    _h))
(define (handle->bytes _h)
  (let ((_l nil))
    (with-locked-handle _h
      (lambda (_p _n) (while (> _n 0) (set! _n (- _n 1)) (set! _l (cons (mref 1 _p _n) _l)))))
    _l))
(define (first-n _l _n) (if (or (= _n 0) (null? _l)) nil (cons (car _l) (first-n (cdr _l) (- _n 1)))))
(define (le16 _n) (list (modulo _n 256) (quotient _n 256)))
(define (le32 _n) (append (le16 (modulo _n 65536)) (le16 (quotient _n 65536))))
(define (be16 _n) (list (quotient _n 256) (modulo _n 256)))
(define (be32 _n) (append (be16 (quotient _n 65536)) (be16 (modulo _n 65536))))
(define (text _s) (string->list _s))

(define (wave-bytes _channels _rate _bits _samples)
  (let ((_align (* _channels (quotient _bits 8))))
    (append (text "RIFF") (le32 (+ 36 (length _samples))) (text "WAVEfmt ") (le32 16) (le16 1) (le16 _channels)
            (le32 _rate) (le32 (* _rate _align)) (le16 _align) (le16 _bits) (text "data") (le32 (length _samples))
            _samples)))
(define (aiff-bytes _channels _frames _bits _rate-bytes _samples)
  (let ((_body (append (text "COMM") (be32 18) (be16 _channels) (be32 _frames) (be16 _bits) _rate-bytes
                       '(0 0 0 0 0 0) (text "SSND") (be32 (+ 8 (length _samples))) (be32 0) (be32 0) _samples)))
    (append (text "FORM") (be32 (+ 4 (length _body))) (text "AIFF") _body)))

(define (open-file _path _mode)
  (let ((_f (make-instance obj-file)))
    (_f (link-object))
    (_f (set! pathname _path))
    (_f (set! mode _mode))
    (_f (open))
    _f))
(define (write-bytes _path _codes)
  (let ((_f (open-file _path 'output)) (_h (bytes->handle _codes)))
    (_f (write-block _h (length _codes)))
    (dispose-handle _h)
    (_f (destroy-c))))
(define (read-bytes _path)
  (let* ((_f (open-file _path 'input)) (_n (_f (get-stream-length))) (_h (new-handle _n)))
    (_f (read-block _h _n))
    (_f (destroy-c))
    (handle->bytes _h)))
(define Tmp-File (create-file nil "LISP" "TEXT" nil nil))
(define Scratch (append (pathname-directory Tmp-File) (list (string-append (pathname-name Tmp-File) ".snd"))))
(check (create-dir Scratch) t "the scratch folder")
(define (in-scratch _name) (append Scratch (list _name)))

(define Mono8 (wave-bytes 1 11025 8 '(0 127 128 255)))
(define Stereo16 (wave-bytes 2 44100 16 '(1 2 3 4 5 6 7 8)))
(define Mono8-Handle (bytes->handle Mono8))
(define Stereo16-Handle (bytes->handle Stereo16))

; ---- Playing: result codes ----

(check (play-sound Mono8-Handle) 0 "a short sound plays to the end")
(check (sound-playing?) nil "and the device is closed")
(check (play-sound (bytes->handle (first-n Mono8 21))) -1 "21 bytes")
(check (play-sound (bytes->handle (aiff-bytes 1 1 8 '(64 12 172 68) '(0)))) -1 "AIFF data")
(check (play-sound (bytes->handle (append (first-n Mono8 40) (le32 5) '(0 127 128 255)))) -1
       "a data chunk longer than the bytes present")
(check (play-sound 9999) -204 "no snd resource with that ID")
(check (reserror) -192)
(check-error 2 (lambda () (play-sound "not a sound")))
(check (error-value (lambda () (play-sound "not a sound"))) "not a sound")

(check (play-sound-background (list Mono8-Handle Stereo16-Handle)) 0 "two sounds queued")
(check (length Sound-Queue) 2)
(stop-sounds)
(check (list (sound-playing?) Sound-Queue) '(() ()) "stop-sounds empties the queue")
(check (play-sound-background (list Mono8-Handle 9999)) -204 "a missing resource ends the walk")
(check (list (sound-playing?) Sound-Queue) '(() ()) "and stops what was started")
(check (play-sound-background (bytes->handle '(1 2 3))) -1 "one handle that is not WAVE data")
(check Sound-Queue nil)
(sysbeep)
(check (sound-playing?) t "the beep plays in the background")
(stop-sounds)
(check (sound-playing?) nil)

; ---- Sounds from snd resources, which hold WAVE data ----

(define Res-Path (create-resource-file nil "LISP" "rsrc" nil nil))
(define Res-File (openresfile Res-Path nil))
(addresource (bytes->handle Mono8) "snd " 128 "Click")
(check (play-sound 128) 0 "a resource by its ID")
(check (play-sound-background '(128 128)) 0)
(check (list (length Sound-Queue) (handle->bytes (car Sound-Queue))) (list 2 Mono8))
(stop-sounds)
(closeresfile Res-File)

; ---- Conversions between WAVE data and snd resources ----

(define Mono8-Resource (convert-wave-to-resource Mono8-Handle))
(check (handle->bytes Mono8-Resource)
       '(0 1 0 1 0 5 0 0 0 128 0 1 128 81 0 0 0 0 0 20 0 0 0 0 0 0 0 4 43 17 0 0 0 0 0 0 0 0 0 0 0 60
         0 127 128 255)
       "mono 8-bit: the standard header and the samples unchanged")
(check (resource-header Mono8-Resource) '(1 4 8 11025))
(check (handle->bytes (convert-resource-to-wave Mono8-Resource)) Mono8 "and back")

(define Stereo16-Resource (convert-wave-to-resource Stereo16-Handle))
(check (get-handle-size Stereo16-Resource) (+ 84 8) "stereo 16-bit: the extended header")
(check (list-tail (handle->bytes Stereo16-Resource) 84) '(2 1 4 3 6 5 8 7) "samples byte-swapped")
(check (resource-header Stereo16-Resource) '(2 2 16 44100))
(check (handle->bytes (convert-resource-to-wave Stereo16-Resource)) Stereo16 "and back")

(check (resource-header Mono8-Handle) nil "WAVE data is no snd resource")
(check (convert-resource-to-wave Mono8-Handle) nil)
(check (convert-wave-to-resource Mono8-Resource) nil "a snd resource is no WAVE data")
(check (convert-wave-to-resource (new-handle 0)) nil "an empty handle")
(check-error 2 (lambda () (resource-header 12)))

; ---- AIFF files ----

(define Aiff-Path (in-scratch "beep.aif"))
(write-bytes Aiff-Path (aiff-bytes 1 3 8 '(64 13 173 221) '(128 0 127)))
(check (sound-file-header Aiff-Path) '(1 3 8 22255))
(define Wave-Path (in-scratch "beep.wav"))
(check (convert-aiff-to-wave Aiff-Path Wave-Path) t)
(check (read-bytes Wave-Path) (wave-bytes 1 22255 8 '(0 128 255)) "signed samples made unsigned")
(check (sound-file-header Wave-Path) '(1 3 8 22255))
(define Aiff-Resource (convert-aiff-to-resource Aiff-Path))
(check (resource-header Aiff-Resource) '(1 3 8 22254) "22255 Hz is kept as 0x56EE8BA3")
(check (first-n (list-tail (handle->bytes Aiff-Resource) 28) 4) '(86 238 139 163))

(define Odd-Rate-Path (in-scratch "odd.aif"))
(write-bytes Odd-Rate-Path (aiff-bytes 1 1 8 '(64 11 250 0) '(0)))
(check (list (sound-file-header Odd-Rate-Path) (convert-aiff-to-wave Odd-Rate-Path (in-scratch "odd.wav"))
             (convert-aiff-to-resource Odd-Rate-Path))
       '(() () ()) "8000 Hz is refused by every converter")
(check (file-exists? (in-scratch "odd.wav")) nil)
(check (sound-file-header (in-scratch "missing.aif")) nil)
(check (convert-aiff-to-resource (in-scratch "missing.aif")) nil)

; ---- Volume ----

(check (set-sound-volume 70000) t)
(check (get-sound-volume) '(65535) "values above 65535 become 65535")
(check (set-sound-volume '(1000)) t "a list holds the volume first")
(check (get-sound-volume) '(1000))
(check-error 2 (lambda () (set-sound-volume "loud")))
(check-error 2 (lambda () (set-sound-volume -1)))
(set-sound-volume 65535)

; ---- Recording ----

(check-error 47 (lambda () (record-sound nil nil)))
(check (error-value (lambda () (record-sound 1 2))) nil)
(check (start-sound-recording (in-scratch "never.wav") nil 0 nil) nil "a duration of 0")
(check (start-sound-recording (in-scratch "rec.wav") nil 5000 nil) t)
(check (sound-recording?) t)
(stop-sounds)
(check (list (sound-recording?) (file-exists? (in-scratch "rec.wav"))) '(() ()) "stop-sounds discards it")

; ---- Clean-up ----

(define (remove-tree _folder)
  (for-each (lambda (_name) (file-remove (append _folder (list _name)) t)) (dir-files _folder nil t))
  (remove-empty-dir _folder))
(check (remove-tree Scratch) t "the scratch folder is gone")
(file-remove Tmp-File t)
(file-remove Res-Path t)
