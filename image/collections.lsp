; Unit 2: lists, sorting, strings and hash tables.
(define Fruits '("pear" "apple" "quince" "fig"))
(say "sorted: " (sort string<? Fruits))
(say "upper case: " (upper-string "velora"))
(define Lengths (new-hash))
(for-each (lambda (_f) (hash-set! Lengths (string->symbol _f) (string-length _f))) Fruits)
(say "length of quince: " (hash-ref Lengths (string->symbol "quince")))
