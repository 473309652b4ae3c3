; The check library of the Lisp tests. Each test file is run as
;   velora --script check.lisp FILE check-end.lisp
; (check GOT EXPECTED [LABEL]) compares with equal?; (check-error CODE THUNK [LABEL]) calls THUNK
; and expects it to raise error 1010-CODE. check-end.lisp prints the counts and fails the run
; when any check failed or none ran.

(define Check-Passed 0)
(define Check-Failed 0)

(define (check-report-failure _label _text)
  (set! Check-Failed (+ Check-Failed 1))
  (prin "FAIL ")
  (prin (+ Check-Passed Check-Failed))
  (when _label (prin " ") (prin (car _label)))
  (prin ": ")
  (princ _text))

(define (check _got _expected . _label)
  (if (equal? _got _expected)
      (set! Check-Passed (+ Check-Passed 1))
      (check-report-failure _label (list 'got _got 'expected _expected))))

; Error reports reach this trap: inside check-error it turns the report into a throw;
; elsewhere the error was not expected, so it counts as a failure.
(define (error-trap _family _code _value _object _a _b)
  (if (catched? 'check-error)
      (throw 'check-error (list 'error _family _code _value))
      (check-report-failure nil (list 'unexpected 'error _family _code _value))))

(set! Error-Handler 'check)

; The (family code value) of the error the thunk raised, or nil.
(define (error-of _thunk)
  (catch 'check-error (begin (_thunk) nil)))

(define (check-error _code _thunk . _label)
  (let ((_e (error-of _thunk)))
    (if (and _e (equal? (car (cdr (cdr _e))) _code))
        (set! Check-Passed (+ Check-Passed 1))
        (check-report-failure _label (list 'expected 'error _code 'got _e)))))

; The value of the error the thunk raised.
(define (error-value _thunk)
  (car (cdr (cdr (cdr (error-of _thunk))))))
