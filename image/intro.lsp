; Unit 0: who is speaking, and the string list of the image's own resources.
(define (say . _items)
  (for-each prin _items)
  (princ ""))

(say "Velora demo image")
(say (get-ind-string 128 1))
(say (get-ind-string 128 2))
(say "This is unit " Loaded-File " of " (countresources "Load") ".")
