; Closes a Lisp test run: the counts, and a failed run when a check failed or none ran.
(set! Error-Handler nil)
(prin Check-Passed) (prin " passed, ") (prin Check-Failed) (princ " failed")
(when (or (> Check-Failed 0) (= Check-Passed 0))
  (error "Lisp checks failed"))
