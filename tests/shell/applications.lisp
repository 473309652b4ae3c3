; Starting programs and documents, shortcuts, program-menu items and the registry.
; applications-test.sh defines Scratch and Menu, points the application-data, program-menu and
; menu-entry folders into a scratch folder, and the document opener at /bin/true.
(define (scratch _name) (string-append Scratch "\\" _name))
(define (file? _path) (if (file-exists? _path) t nil))
(define (folder? _path) (if (dir-exists? _path) t nil))

(check (get-os-version) 0)
(check (find-application-pathname "LORN") nil)

; Programs: a descriptor of four integers, running until the program exits.
(define P (launch-application (scratch "nap") nil nil))
(check (length P) 4 "a descriptor")
(check (integer? (car P)) t)
(check (application-running? P) t "the program naps for half a second")
(while (application-running? P))
(check (application-running? P) nil "it has exited")
(check (launch-application (scratch "missing-program") nil nil) nil "a missing program")
(check (launch-application nil nil nil) nil "nothing to start")
(check (application-running? '(0 0 0 0)) nil "a document's descriptor names no program")
(check-error 2 (lambda () (application-running? 5)) "a descriptor is a list")

; Documents open through the opener; the program path is not used then.
(create-file (scratch "doc.txt") "TEXT" "ttxt")
(check (launch-application "C:\\bin\\false" (scratch "doc.txt") nil) '(0 0 0 0))

; Shortcuts: ".LNK" is added unless the path ends in ".lnk" exactly.
(check (create-alias-file (scratch "one.lnk") (scratch "doc.txt")) t)
(check (file? (scratch "one.lnk")) t)
(check (create-alias-file (scratch "two") (scratch "doc.txt")) t)
(check (file? (scratch "two.LNK")) t)
(check (create-alias-file (scratch "three.LNK") (scratch "doc.txt")) t)
(check (file? (scratch "three.LNK.LNK")) t "upper case gets the extension again")
(check (create-alias-file (scratch "one.lnk") (scratch "doc.txt")) t "an existing shortcut is replaced")

; Program groups and items; the group folder goes with its last item.
(add-program-group "Lorin")
(check (folder? (string-append Menu "\\Lorin")) t)
(check (add-program-item (scratch "doc.txt") "Lorin" "Read me") t)
(check (add-program-item (scratch "doc.txt") "Lorin" "Licence") t)
(check (file? (string-append Menu "\\Lorin\\Read me.LNK")) t)
(remove-program-item "Lorin" "Read me")
(check (file? (string-append Menu "\\Lorin\\Read me.LNK")) nil)
(check (folder? (string-append Menu "\\Lorin")) t "another item remains")
(remove-program-item "Lorin" "Licence")
(check (folder? (string-append Menu "\\Lorin")) nil "the empty group is removed")
(check-error 2 (lambda () (add-program-group "a\\b")) "a group is one folder name")

; The registry of document classes.
(check (register-get-value ".lor") nil)
(check (register-ibm-variable ".lor" "LorinDocument") t)
(check (register-ibm-variable "LorinDocument\\shell\\open\\command" "LORIN.exe \"%1\"") t)
(check (register-get-value ".LOR") "LorinDocument" "keys ignore letter case")
(check (register-get-value "LorinDocument\\shell\\open\\command") "LORIN.exe \"%1\"")
(check (register-ibm-variable "LorinDocument" nil) t "deleting a key")
(check (register-get-value "LorinDocument\\shell\\open\\command") nil "deletes the keys below it")
(check (register-ibm-variable "LorinDocument" nil) nil "a missing key")
