; The first copy stays up after start-appl until a document arrives (or five seconds pass).
(Recorder (define (start-appl)
  (say "start-appl")
  (let ((_until (+ (milliseconds) 5000)))
    (while (and (not Last-Opened) (< (milliseconds) _until))
      (process-events nil nil nil)
      (sleep-milliseconds 10)))))
