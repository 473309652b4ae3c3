; The first copy stays up after start-appl until a document arrives (or thirty seconds pass:
; a sanitizer build under the collector's stress mode is slow).
(Recorder (define (start-appl)
  (say "start-appl")
  (let ((_until (+ (milliseconds) 30000)))
    (while (and (not Last-Opened) (< (milliseconds) _until))
      (process-events nil nil nil)
      (sleep-milliseconds 10)))))
