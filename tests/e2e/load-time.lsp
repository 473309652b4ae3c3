; Events served while the units load (the loader blocks periodic pumping): masks, blocking,
; periodic pumping, wait-key.
(say "flag" (get-event-flag))
; The keyboard mask serves the key and leaves the document request waiting.
(process-events 8 nil nil)
(say "after keys" Last-Opened)
(define (spin _n) (while (> _n 0) (set! _n (- _n 1))))
(set-event-flag 0)
; Inside without-event a long loop pumps nothing.
(without-event (spin 300000) (say "blocked" (get-event-flag) Last-Opened))
(say "unblocked" (get-event-flag))
; Outside it the evaluator pumps every message now and then: the request arrives.
(while (not Last-Opened) (spin 100))
(say "the loop saw" Last-Opened)
(say "wait-key" (wait-key 0))
; The replay's answer reached the file dialogs' queue too.
(catch 'cancel (velora-choose-directory (lambda (_folder) (say "folder chosen")) nil))
(set-event-flag 1)
