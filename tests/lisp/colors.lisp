; Colours without a window: the screen depth, the system colours, the colour chooser (which answers
; the initial colour until the dialogs exist) and colour values given by symbolic-color.

(check (get-depth) 32 "a true-colour screen unless VELORA_SCREEN_DEPTH=8")
(check (has-depth 8) nil)
(check (has-depth 32) nil)
(check (eq? (set-depth 8) (void)) t)
(check (get-depth) 32 "set-depth changes nothing")

; System colours: each byte repeated (byte x 257).
(check (get-system-color :background) '(49344 49344 49344))
(check (get-system-color :button) (get-system-color :background))
(check (get-system-color :button-text) '(0 0 0))
(check (get-system-color :button-hilight) '(65535 65535 65535))
(check (get-system-color :button-shadow) '(32896 32896 32896))
(check (get-system-color :button-gray-text) '(32896 32896 32896))
(check (eq? (get-system-color :button) (get-system-color :button)) nil "a fresh list each time")
(check-error 2 (lambda () (get-system-color :window)))
(check (error-value (lambda () (get-system-color 'button))) 'button)
(check (error-value (lambda () (get-system-color nil))) nil)

; The chooser starts from the high byte of each component and answers byte x 256.
(check (velora-choose-color nil nil '(65535 4660 255)) '(65280 4608 0))
(check (velora-choose-color 1 2 nil) '(0 0 0) "black when no colour is given")
(check (velora-choose-color nil nil '(65536 -1 256)) '(0 65280 256) "the low 16 bits of each element")

; Symbols go through the application's symbolic-color.
(define (symbolic-color _name)
  (cond ((eq? _name 'orange) '(65535 32768 0))
        ((eq? _name 'broken) "red")
        (t nil)))
(check (velora-choose-color nil nil 'orange) '(65280 32768 0))
(check (error-value (lambda () (velora-choose-color nil nil 'broken))) "red"
       "symbolic-color answering no colour")
(check (error-value (lambda () (velora-choose-color nil nil 'unknown))) nil)

; The shape of a colour is checked.
(check (error-value (lambda () (velora-choose-color nil nil '(1 2)))) '(1 2))
(check (error-value (lambda () (velora-choose-color nil nil '(1 2 . 3)))) '(1 2 . 3))
(check (error-value (lambda () (velora-choose-color nil nil '(1 x 3)))) '(1 x 3))
(check (error-value (lambda () (velora-choose-color nil nil 12))) 12)
(check-error 2 (lambda () (velora-choose-color nil nil (vector 1 2 3))))
