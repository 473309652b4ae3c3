; Pathnames and the file primitives, in a scratch folder made under the temporary folder.

; ---- Helpers ----

; Each case is (FORM EXPECTED-FORM); both are evaluated, the results compared with equal?.
(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (eval (car (cdr _c))) _c)) _cases))

(define (open-file _path _mode)
  (let ((_f (make-instance obj-file)))
    (_f (link-object))
    (_f (set! pathname _path))
    (_f (set! mode _mode))
    (_f (open))
    _f))

(define (write-text _path _text)
  (let ((_f (open-file _path 'output))
        (_h (string->handle _text)))
    (_f (write-block _h (string-length _text)))
    (dispose-handle _h)
    (_f (destroy-c))))

(define (read-text _path)
  (let* ((_f (open-file _path 'input))
         (_n (_f (get-stream-length)))
         (_h (new-handle _n)))
    (_f (read-block _h _n))
    (_f (destroy-c))
    (let ((_s (handle->string _h)))
      (dispose-handle _h)
      _s)))

; A string of n copies of a text.
(define (repeat-text _text _n)
  (if (= _n 0) "" (string-append _text (repeat-text _text (- _n 1)))))

; The scratch folder: named after a fresh temporary file, in the temporary folder.
(define Tmp-File (create-file nil "LISP" "TEXT" nil nil))
(define Scratch (append (pathname-directory Tmp-File) (list (string-append (pathname-name Tmp-File) ".dir"))))
(check (create-dir Scratch) t "the scratch folder")
(define (in-scratch . _names) (append Scratch _names))

; ---- Native paths from pathnames ----

(define Docs '("C:" "docs"))
(define Docs-Link 'Docs)
(define Sub '("sub" "leaf"))
(check-cases
 '(((velora->os '("C:" "a" "b")) "C:\\a\\b")
   ((velora->os '("C:" "")) "C:\\")
   ((velora->os '("C:" "a" "")) "C:\\a")
   ((velora->os '("a" "" "b")) "a\\\\b")
   ((velora->os '("")) "\\")
   ((velora->os '()) "")
   ((velora->os '(Docs "x.txt")) "C:\\docs\\x.txt")
   ((velora->os '(("C:" ("a")) "b")) "C:\\a\\b")
   ((velora->os "C:\\already\\native") "C:\\already\\native")))

(check-error 6 (lambda () (velora->os '(No-Such-Folder-Variable "x"))) "an unbound symbol")
(check (error-value (lambda () (velora->os '(No-Such-Folder-Variable "x")))) 'No-Such-Folder-Variable)
(check-error 2 (lambda () (velora->os '(Docs-Link "x"))) "a symbol bound to a symbol")
(check (error-value (lambda () (velora->os '(Docs-Link "x")))) 'Docs-Link)
(check-error 2 (lambda () (velora->os '("C:" 5))) "a number in a pathname")
(check-error 2 (lambda () (velora->os (list "C:" (repeat-text "abcdefghij" 103)))) "longer than 1022")
(check (string-length (velora->os (list "C:" (repeat-text "abcdefghij" 101) "x"))) 1015)

; ---- Pathnames from native paths ----

(check-cases
 '(((os->velora "C:\\a\\b") '("C:" "a" "b"))
   ((os->velora "C:a\\b") '("C:" "a" "b"))
   ((os->velora "\\a\\b") '("a" "b"))
   ((os->velora "a\\\\b") '("a" "" "b"))
   ((os->velora "C:\\") '("C:" ""))
   ((os->velora "C:") '("C:"))
   ((os->velora "") '())))

; Both ways round.
(for-each (lambda (_p) (check (velora->os (os->velora _p)) _p (list 'round-trip _p)))
          '("C:\\a\\b.txt" "C:\\" "D:\\x" "a\\\\b" "rel\\ative"))

; velora-dir is the executable's folder in upper case.
(check (velora->os velora-dir) (upper-string (velora->os (pathname-directory (os->velora Velora-Executable-Name)))))
(check (velora->os (list velora-dir "a" "b.txt")) (string-append (velora->os velora-dir) "\\a\\b.txt"))

; ---- Pathname parts ----

(check-cases
 '(((pathname-name '(Docs "x.txt")) "x.txt")
   ((pathname-name '("C:" Docs)) "docs")
   ((pathname-name '("C:" Sub)) "leaf")
   ((pathname-directory '(Docs "x.txt")) '(Docs))
   ((pathname-directory '("C:" Sub)) '("C:" "sub"))
   ((pathname-volume '("C:" "a")) '("C:"))
   ((pathname-volume '(Docs "a")) '("C:"))
   ((pathname-volume '("a" "b")) nil)
   ((pathname-volume? '("C:")) t)
   ((pathname-volume? '("C:" "")) t)
   ((pathname-volume? '("C:" "a")) nil)
   ((pathname=? '("C:" "ABC") "c:\\abc") t)
   ((pathname=? '(Docs) '("C:" "DOCS")) t)
   ((pathname=? '("C:" "a") '("C:" "b")) nil)
   ((pathname-inclusion '("C:" "a") '("C:" "a" "b")) t)
   ((pathname-inclusion '("C:" "A") '("c:" "a")) t)
   ((pathname-inclusion '("C:" "a") '("C:" "ab")) nil)
   ((pathname-inclusion '("C:" "") '("C:" "x")) t)
   ((pathname-inclusion '("C:" "a" "b") '("C:" "a")) nil)
   ((expand-pathname '(Docs ("y" "z"))) '("C:" "docs" "y" "z"))
   ((resource-pathname? "x") t)
   ((resource-pathname? 128) t)
   ((resource-pathname? '("C:" "x")) nil)
   ((resource-pathname? 'x) nil)))

; ---- match-filename ----

(for-each
 (lambda (_c) (check (match-filename (car _c) (car (cdr _c))) (car (cdr (cdr _c))) _c))
 (list '("readme" "*.*" t) '("a.txt" "*.doc;*.txt" t) '("A.TXT" "a.txt" t) '("a.txt" "*.doc" ())
       '("abc" "a?c" t) '("ac" "a?c" ()) '("read.me" "read.*" t) '("read" "read.*" t)
       '("readme" "read.*" ()) '("x.tar.gz" "*.gz" t) '("x.tar.gz" "*.tar" ()) '("" "*" t)
       '("abc" "" ()) '("abc" ";;abc" t) '("aXbXc" "a*b*c" t) '("aXbXd" "a*b*c" ())
       (list (list->string '(201 84 201)) (list->string '(233 116 233)) t)))

; ---- Existence, case-insensitive matching ----

(write-text (in-scratch "MixedCase.TXT") "hello")
(check (equal? (file-exists? (in-scratch "mixedcase.txt")) (in-scratch "mixedcase.txt")) t
       "an existing file's path comes back")
(check (read-text (in-scratch "MIXEDCASE.txt")) "hello" "components match ignoring case")
(check (file-exists? Scratch) nil "a folder is no file")
(check (dir-exists? Scratch) t)
(check (dir-exists? (in-scratch "MixedCase.TXT")) nil)
(check (file-exists? (in-scratch "missing")) nil)
(check (file-exists? '("Q:" "nowhere")) nil "an unknown drive")

; ---- Sizes and times ----

(check (file-length (in-scratch "MixedCase.TXT") nil) 5)
(check-error 31 (lambda () (file-length (in-scratch "missing") nil)) "file-length of a missing file")
(check (equal? (error-value (lambda () (file-length (in-scratch "missing") nil))) (in-scratch "missing")) t
       "the path is the culprit")
(check-error 36 (lambda () (file-length Scratch nil)) "file-length of a folder")
(check (file-set-length (in-scratch "MixedCase.TXT") 2) t)
(check (read-text (in-scratch "MixedCase.TXT")) "he")
(check (file-set-length (in-scratch "MixedCase.TXT") 4) t)
(check (file-length (in-scratch "MixedCase.TXT") nil) 4 "extended")
(check (read-text (in-scratch "MixedCase.TXT")) "he" "with zero bytes (a string ends at the first)")
(check (file-set-length (in-scratch "missing") 4) nil)
(check (file-exists? (in-scratch "missing")) nil "file-set-length creates nothing")

(check (file-set-modification-time (in-scratch "MixedCase.TXT") 3500000000) t)
(check (file-modification-time (in-scratch "MixedCase.TXT")) 3500000000)
(check (integer? (file-creation-time (in-scratch "MixedCase.TXT"))) t)
(check (file-modification-time (in-scratch "missing")) nil)
(check (file-creation-time (in-scratch "missing")) nil)
(check (file-set-modification-time (in-scratch "missing") 3500000000) nil)

; ---- Creating, removing, renaming ----

(check (equal? (create-file (in-scratch "new.txt") "LISP" "TEXT" nil nil) (in-scratch "new.txt")) t)
(check (file-length (in-scratch "new.txt") nil) 0)
(check-error 33 (lambda () (create-file (in-scratch "new.txt") "LISP" "TEXT" nil nil)) "create-file of an existing file")
(check (create-file (in-scratch "new.txt") "LISP" "TEXT" nil t) nil "quiet")
(check-error 31 (lambda () (create-file (in-scratch "no-folder" "x") "LISP" "TEXT" nil nil)) "in a missing folder")
(check (match-filename (pathname-name Tmp-File) "velora*.tmp") t)
(define Tmp-File-2 (create-file nil "LISP" "TEXT" nil nil))
(check (equal? Tmp-File-2 Tmp-File) nil "each temporary file is new")
(check (file-remove Tmp-File-2 nil) t)

(check (file-rename (in-scratch "new.txt") "renamed.txt") t)
(check (file-exists? (in-scratch "new.txt")) nil)
(check (file-length (in-scratch "renamed.txt") nil) 0)
(check-error 33 (lambda () (file-rename (in-scratch "renamed.txt") "MixedCase.TXT")) "renaming onto an existing file")
(check-error 31 (lambda () (file-rename (in-scratch "missing") "other")) "renaming a missing file")
(check-error 2 (lambda () (file-rename (in-scratch "renamed.txt") "a\\b")) "a new name with a separator")

(check (file-remove (in-scratch "renamed.txt") nil) t)
(check-error 31 (lambda () (file-remove (in-scratch "renamed.txt") nil)) "removing a missing file")
(check (file-remove (in-scratch "renamed.txt") t) nil "quiet")
(check-error 36 (lambda () (file-remove Scratch nil)) "file-remove of a folder")

(check (create-dir (in-scratch "sub")) t)
(check (create-dir (in-scratch "sub")) nil "already there")
(write-text (in-scratch "sub" "inner.txt") "x")
(check (remove-empty-dir (in-scratch "sub")) nil "not empty")
(file-remove (in-scratch "sub" "inner.txt") nil)
(check (remove-empty-dir (in-scratch "sub")) t)
(check (dir-exists? (in-scratch "sub")) nil)

; ---- Types, creators and attributes ----

(for-each (lambda (_c) (check (file-get-type (in-scratch (car _c))) (car (cdr _c)) _c))
          '(("x.JPG" "JPEG") ("x.jpeg" "JPEG") ("x" "TEXT") ("a.png" "PNGf") ("a.pct" "PICT")
            ("a.pic" "PICT") ("a.pict" "PICT") ("a.mov" "MooV") ("a.mvx" "MooV") ("a.txt" "TEXT")
            ("a.p" "TEXT") ("dir.jpg\\x" "TEXT")))
(check (file-get-creator (in-scratch "MixedCase.TXT")) "    ")
(check (eq? (file-set-type (in-scratch "MixedCase.TXT") "APPL") (void)) t)
(check (file-get-type (in-scratch "MixedCase.TXT")) "TEXT" "a plain file keeps no type")
(check-error 2 (lambda () (file-set-creator (in-scratch "MixedCase.TXT") "TOOLONG")))

(check (file-get-locked? (in-scratch "MixedCase.TXT")) nil)
(check (file-set-locked? (in-scratch "MixedCase.TXT") t) t)
(check (file-get-locked? (in-scratch "MixedCase.TXT")) t)
(check (file-set-locked? (in-scratch "MixedCase.TXT") nil) t)
(check (file-get-locked? (in-scratch "MixedCase.TXT")) nil)
(check (file-set-locked? (in-scratch "missing") t) nil)

(write-text (in-scratch ".hidden") "")
(check (file-get-visible? (in-scratch "MixedCase.TXT")) t)
(check (file-get-visible? (in-scratch ".hidden")) nil "dot names are hidden")
(check (file-get-visible? (in-scratch "missing")) nil)
(when (file-set-visible? (in-scratch "MixedCase.TXT") nil)
  (check (file-get-visible? (in-scratch "MixedCase.TXT")) nil "marked hidden")
  (check (file-set-visible? (in-scratch "MixedCase.TXT") t) t)
  (check (file-get-visible? (in-scratch "MixedCase.TXT")) t))

(check (erasable? (in-scratch "MixedCase.TXT")) t)
(check (erasable? (in-scratch "missing")) nil)

; ---- Volumes ----

(check (get-volume-type '("C:" "x")) 3)
(check (get-volume-type '("Q:" "x")) 1 "no such drive")
(check (cd-rom? Scratch) nil)
(check (volume-lock? Scratch) nil)
(check (> (volume-space '("C:" "")) 0) t)
(check (and (member "C:" (get-online-volumes)) t) t)

; ---- Listings ----

(write-text (in-scratch "b.txt") "b")
(write-text (in-scratch "a.doc") "a")
(create-dir (in-scratch "folder"))
(check (dir-files Scratch "*.txt" nil) '("MixedCase.TXT" "b.txt") "the pattern, ignoring case")
(check (dir-files Scratch "*.doc" nil) '("a.doc"))
(check (dir-files Scratch "*.doc;b.*" nil) '("a.doc" "b.txt"))
(check (dir-files Scratch nil nil) '("MixedCase.TXT" "a.doc" "b.txt") "*.* by default, no dot names, no folders")
(check (dir-files Scratch nil t) '(".hidden" "MixedCase.TXT" "a.doc" "b.txt"))
(check (dir-subdirs Scratch) '("folder"))
(check (dir-files (in-scratch "missing") nil nil) nil)

; ---- File information ----

(let ((_info (get-file-info (in-scratch "b.txt")))
      (_codes (new-ptr 8)))
  (check (text->string _info 8) "TEXT    ")
  (file-set-modification-time (in-scratch "a.doc") 3400000000)
  (check (eq? (set-file-info (in-scratch "a.doc") _info) (void)) t)
  (check (file-modification-time (in-scratch "a.doc")) (file-modification-time (in-scratch "b.txt")))
  (check (eq? (dispose-file-info _info) (void)) t)
  (get-finder-info (in-scratch "x.png") _codes)
  (check (text->string _codes 8) "PNGf    ")
  (check-error 2 (lambda () (get-finder-info (in-scratch "x.png") (new-ptr 4))) "a record too small")
  (dispose-ptr _codes))
(check-error 31 (lambda () (get-file-info (in-scratch "missing"))))
(file-set-modification-time (in-scratch "a.doc") 3300000000)
(check (eq? (copy-file-info (in-scratch "a.doc") (in-scratch "b.txt")) (void)) t)
(check (file-modification-time (in-scratch "b.txt")) 3300000000)
(check-error 31 (lambda () (copy-file-info (in-scratch "missing") (in-scratch "b.txt"))))

(check (equal? (resolve-alias-file Scratch) Scratch) t "a folder resolves to itself")
(check (resolve-alias-file (in-scratch "b.txt")) nil "no shortcut")
(check (resolve-alias 'anything) nil)

; ---- Special folders ----

(for-each (lambda (_f) (check (car (_f)) "C:" _f))
          (list find-preference-folder find-old-preference-folder find-desktop-folder find-program-folder))
(check (dir-exists? (find-program-folder)) t)

; ---- Opening files: errors ----

(check-error 31 (lambda () (open-file (in-scratch "missing") 'input)) "opening a missing file")
(check-error 36 (lambda () (open-file Scratch 'input)) "opening a folder")
(check-error 2 (lambda () (open-file (in-scratch "b.txt") 'append)) "an unknown mode")
(check (error-value (lambda () (open-file (in-scratch "b.txt") 'append))) 'append)
; A full disk: the host's /dev/full refuses every write.
(define (test-disk-full)
  (let ((_f (open-file '("C:" "dev" "full") 'input-output))
        (_h (string->handle "data")))
    (_f (write-block _h 4))
    (check-error 46 (lambda () (_f (flush))) "a write the disk refuses")
    (_f (write-block _h 4))
    (check-error 46 (lambda () (_f (destroy-c))) "destroy-c reports the last write")
    (check (_f (object-opened?)) nil "and closes the file all the same")
    (dispose-handle _h)))
(if (file-exists? '("C:" "dev" "full"))
    (test-disk-full)
    (princ "files.lisp: no /dev/full here, the disk-full case is not run"))

; ---- copy-file ----

(define Big-Text (repeat-text (repeat-text "0123456789abcdef" 1024) 75)) ; 1228800 bytes
(write-text (in-scratch "big") Big-Text)
(file-set-modification-time (in-scratch "big") 3456789012)
(define Chunks '())
(check (eq? (copy-file (in-scratch "big") (in-scratch "big-copy") (lambda (_n) (set! Chunks (cons _n Chunks)))) (void)) t)
(check (reverse Chunks) '(524288 524288 180224) "progress after each chunk")
(check (= (file-length (in-scratch "big-copy") nil) 1228800) t)
(check (string=? (read-text (in-scratch "big-copy")) Big-Text) t "the data")
(check (file-modification-time (in-scratch "big-copy")) 3456789012 "the times")

(write-text (in-scratch "empty") "")
(set! Chunks '())
(copy-file (in-scratch "empty") (in-scratch "empty-copy") (lambda (_n) (set! Chunks (cons _n Chunks))))
(check (file-length (in-scratch "empty-copy") nil) 0 "an empty copy")
(check Chunks '() "no progress for an empty file")

(write-text (in-scratch "keep") "precious")
(check-error 31 (lambda () (copy-file (in-scratch "missing") (in-scratch "keep") nil)) "a missing source")
(check (read-text (in-scratch "keep")) "precious" "a missing source leaves the destination alone")
(check-error 31 (lambda () (copy-file (in-scratch "keep") (in-scratch "no-folder" "x") nil)) "a missing destination folder")
(check-error 36 (lambda () (copy-file (in-scratch "keep") (in-scratch "KEEP") nil)) "a file onto itself")
(check (read-text (in-scratch "keep")) "precious" "copying onto itself loses nothing")
(check (catch 'stop (copy-file (in-scratch "big") (in-scratch "stopped") (lambda (_n) (throw 'stop 'stopped))))
       'stopped)
(check (file-exists? (in-scratch "stopped")) nil "an interrupted copy deletes its partial destination")
(check (catch 'stop (copy-file (in-scratch "big") (in-scratch "keep") (lambda (_n) (throw 'stop 'stopped))))
       'stopped)
(check (file-exists? (in-scratch "keep")) nil "a destination this copy wrote is deleted")

; ---- Clean-up ----

(define (remove-tree _folder)
  (for-each (lambda (_name) (file-remove (append _folder (list _name)) t)) (dir-files _folder nil t))
  (for-each (lambda (_name) (remove-tree (append _folder (list _name)))) (dir-subdirs _folder))
  (remove-empty-dir _folder))
(check (remove-tree Scratch) t "the scratch folder is gone")
(file-remove Tmp-File t)
