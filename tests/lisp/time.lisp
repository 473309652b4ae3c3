; Time and dates. Runs with TZ=Europe/Paris and no settings file (tests/CMakeLists.txt), so local
; times and texts are the same on every machine. Non-ASCII text is built from codes with cp.

(define (cp . _codes) (list->string _codes))

; Each case is (FORM EXPECTED-FORM); both are evaluated, the results compared with equal?.
(define (check-cases _cases)
  (for-each (lambda (_c) (check (eval (car _c)) (eval (car (cdr _c))) _c)) _cases))

; ---- The calendar ----

(check-cases
 '(((week-day '(1996 1 1)) 2)
   ((week-day '(2000 2 29)) 3)
   ((week-day '(1582 10 4)) 5)
   ((week-day '(1582 10 15)) 6)
   ((week-day '(1995 12 31)) 1)
   ((week-day '(1997 1 1)) 4)
   ((week-day '(1900 3 1)) 5)
   ((week-day '(2100 3 1)) 2)
   ((week-day '(2026 12 11)) 6)
   ((week-day '(1 1 1)) 7)
   ((week-day '(2024)) 2)
   ((leap-year? 1500) t) ((leap-year? 1600) t) ((leap-year? 2000) t) ((leap-year? 2004) t)
   ((leap-year? 1700) nil) ((leap-year? 1900) nil) ((leap-year? 2003) nil) ((leap-year? 1580) t)
   ((end-of-month '(2004 2 10 8 30 0)) '(2004 2 29 8 30 0))
   ((end-of-month '(2003 2 10 0 0 0)) '(2003 2 28 0 0 0))
   ((end-of-month '(1900 2 1)) '(1900 2 28 0 0 0))
   ((end-of-month '(1500 2)) '(1500 2 29 0 0 0))
   ((end-of-month '(2004 12 31 1 2 3)) '(2004 12 31 1 2 3))
   ((day-between '(2004 1 30) '(2004 3 1)) 31)
   ((day-between '(2004 3 10) '(2004 3 5)) -5)
   ((day-between '(2004 3 10) '(2004 2 20)) 0)
   ((day-between '(2003 12 31) '(2004 1 1)) 1)
   ((day-between '(2004 3 10) '(2003 12 20)) 0)
   ((day-between '(2000 1 1) '(2001 1 1)) 366)
   ((day-between '(1900 1 1) '(1901 1 1)) 365)
   ((day-between '(1500 1 1) '(1501 1 1)) 366)
   ((day-between '(1582 10 1) '(1582 11 1)) 31)
   ((day-between '(1 1 1) '(2001 1 1)) 730497)
   ((day-between '(2026 1 1 23 59 59) '(2026 12 11 0 0 0)) 344)))

; Days are counted on one calendar, the weekday accounts for the Julian-Gregorian switch: the
; week days of two dates differ by day-between modulo 7, except across October 1582.
(check (modulo (- (week-day '(2026 12 11)) (week-day '(1600 1 1))) 7)
       (modulo (day-between '(1600 1 1) '(2026 12 11)) 7))
(check (modulo (- (week-day '(1582 10 15)) (week-day '(1582 10 4))) 7) 1
       "4 October 1582 (Julian) is followed by 15 October (Gregorian)")

; A month outside 1-12 is the wrong-type error, never a look outside the month table.
(for-each
 (lambda (_date)
   (check-error 2 (lambda () (week-day _date)) (list 'week-day _date))
   (check-error 2 (lambda () (end-of-month _date)) (list 'end-of-month _date))
   (check-error 2 (lambda () (day-between _date '(2004 1 1))) (list 'day-between _date))
   (check-error 2 (lambda () (day-between '(2004 1 1) _date)) (list 'day-between 2 _date)))
 '((2004 0 1) (2004 13 1) (2004 -1 1) (2004 100000 1)))
(check-error 2 (lambda () (week-day 'x)))
(check-error 2 (lambda () (week-day '(2004 "1" 1))))
(check-error 2 (lambda () (leap-year? "2004")))

; ---- Comparisons ----

(check-cases
 '(((date=? '(2004 5 1) '(2004 5 1 0 0 0)) t)
   ((date=? '(2004 5 1) '(2004 5 1 0 0 1)) nil)
   ((date!=? '(2004 5 1) '(2004 5 1 0 0 1)) t)
   ((date<? '(2004 5) '(2004 5 1)) nil)
   ((date<=? '(2004 5) '(2004 5 1)) t)
   ((date<? '(2004 5 1 10) '(2004 5 1 11)) t)
   ((date>? '(2004 5 1 10) '(2004 5 1 11)) nil)
   ((date>? '(2005) '(2004 12 31)) t)
   ((date>=? '(2004 5 1) '(2004 5 1)) t)
   ((date>=? '(2004 4 30) '(2004 5 1)) nil)
   ((month=? '(2004 5 1) '(2004 5 30 10)) t)
   ((month=? '(2004 5 1) '(2004 6 1)) nil)
   ((day=? '(2004 5 1 10 0 0) '(2004 5 1 23 0 0)) t)
   ((day!=? '(2004 5 1 10 0 0) '(2004 5 2 1 0 0)) t)
   ((day<? '(2004 5 1 10) '(2004 5 1 11)) nil)
   ((day<? '(2004 5 1 10) '(2004 5 2 1)) t)
   ((day<=? '(2004 5 1 10) '(2004 5 1 9)) t)
   ((day>? '(2004 5 2) '(2004 5 1 23)) t)
   ((day>=? '(2004 5 1) '(2004 5 1 23)) t)))

; ---- Clock seconds and local dates (Paris: UTC+1, UTC+2 in summer) ----

(define Epoch 2082826800)
(check-cases
 '(((time->date Epoch) '(1970 1 1 1 0 0))
   ((time->date 0) '(1970 1 1 1 0 0))
   ((time->date (+ Epoch 1089806400)) '(2004 7 14 14 0 0))
   ((date->time '(2004 7 14 14 0 0)) (+ Epoch 1089806400))
   ((date->time '(2004 1 14 13 0 0)) (+ Epoch 1074081600))
   ((date->time '(2004)) (date->time '(2004 1 1 0 0 0)))
   ((time->date (date->time '(2026 6 21 12 30 15))) '(2026 6 21 12 30 15))
   ((time->date (date->time '(2026 12 21 12 30 15))) '(2026 12 21 12 30 15))
   ((time->date (date->time '(2026 10 25 1 30 0))) '(2026 10 25 1 30 0))
   ((time->date (date->time '(2004 2 30 0 0 0))) '(2004 3 1 0 0 0))))
(check-error 2 (lambda () (date->time '(2004 x))))
(check-error 2 (lambda () (time->date "now")))

(let ((_now (get-date)) (_time (get-time)))
  (check (length _now) 6)
  (check (<= (abs (- _time (date->time _now))) 2) t "get-date and get-time agree"))

(check-error 47 (lambda () (local->gmt-time 0)))
(check-error 47 (lambda () (gmt->local-time 0)))
(check (error-value (lambda () (local->gmt-time 0))) nil)

; ---- Ticks and pauses ----

(let ((_ms (milliseconds)) (_ticks (tick-count)))
  (sleep 60)
  (let ((_waited (- (milliseconds) _ms)))
    (check (and (>= _waited 1000) (< _waited 3000)) t (list 'sleep 60 _waited)))
  (check (>= (- (tick-count) _ticks) 60) t "60 ticks passed"))

(let ((_ms (milliseconds)))
  (check (sleep-milliseconds 120) t)
  (check (>= (- (milliseconds) _ms) 120) t "sleep-milliseconds 120")
  (set! _ms (milliseconds))
  (sleep 0)
  (sleep -5)
  (check (sleep-milliseconds -10) t)
  (check (< (- (milliseconds) _ms) 500) t "no wait for n <= 0"))

(let* ((_before (milliseconds)) (_ticks (tick-count)) (_after (milliseconds)))
  (check (<= (quotient (* _before 3) 50) _ticks (quotient (* _after 3) 50)) t "ticks are ms * 3 / 50"))

; ---- Texts with the default settings ----

(check-cases
 '(((iudatestring (date->time '(2000 2 29 13 5 9)) t) "Tuesday, 29 February 2000")
   ((iudatestring (date->time '(2004 3 5)) t) "Friday, 05 March 2004")
   ((iudatestring (date->time '(2004 3 5)) nil) "3/5/04")
   ((iudatestring (date->time '(2010 11 25)) nil) "11/25/10")
   ((iutimestring (date->time '(2004 3 5 13 5 9)) t) " 1:05:09 PM ")
   ((iutimestring (date->time '(2004 3 5 13 5 9)) nil) " 1:05 PM ")
   ((iutimestring (date->time '(2004 3 5 0 30 0)) nil) " 12:30 AM ")
   ((iutimestring (date->time '(2004 3 5 12 0 0)) nil) " 12:00 PM ")
   ((iutimestring (date->time '(2004 3 5 11 59 59)) t) " 11:59:59 AM ")
   ((get-dotmark) 46)))
