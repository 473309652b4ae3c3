// fuzz/LexerFuzz.cpp: the lexical automaton over arbitrary input. The first bytes describe a small
// automaton (states, transitions of every kind with any outcome, buffer action and move, including
// moves that go back or stand still, and callbacks that suspend or stop it); the rest is the input.
// Error reports are expected (a cycle without progress is one); a crash or a hang is a fault.
#include "FuzzRuntime.h"

#include <string>

namespace {

const char* kSetup = R"(
(define Fz-Handler (new-class 'Fz-Handler Lexer-Handler))
(Fz-Handler (defslot count :default 0))
(Fz-Handler (define (handle-callback _s _l)
              (set! count (+ count 1))
              (_l (get-token))
              (cond ((eq? _s 'stop) (_l (stop)))
                    ((eq? _s 'suspend) (_l (suspend)))
                    ((eq? _s 'jump) (_l (set-next-state 's0))))))
(Fz-Handler (define (end-of-parse _l) (when (< count 20) (set! count (+ count 1)) (_l (resume)))))
(define Fz-Made nil)
(define (fz-linked _class)
  (let ((_o (make-instance _class))) (_o (link-object)) (set! Fz-Made (cons _o Fz-Made)) _o))
(define (fz-cleanup) (for-each (lambda (_o) (_o (destroy-c))) Fz-Made) (set! Fz-Made nil))
(define (fz-set _k) (let ((_s (fz-linked Charset))) (_s (setup-predicate (lambda (_b) (= 0 (modulo _b _k))))) _s))
(define (fz-trans _kind _outcome _action _move _callback _param)
  (let ((_t (fz-linked (car (list-tail (list Lexer-Trans Lexer-Trans-Char Lexer-Trans-Charset Lexer-Trans-Pred Lexer-Trans-String) _kind)))))
    (_t (set-outcome _outcome)) (_t (set-buffer-action-internal _action)) (_t (set-move _move))
    (_t (set-callback _callback))
    (cond ((= _kind 1) (_t (set-trigger _param)))
          ((= _kind 2) (_t (set-charset-internal (fz-set (+ 1 (modulo _param 7))))))
          ((= _kind 3) (_t (set-predicate-internal (lambda (_b) (< _b _param)))))
          ((= _kind 4) (_t (set-target-string (list->string (list (+ 1 (modulo _param 255)) (+ 97 (modulo _param 3))))))))
    _t))
(define (fz-input _p _n)
  (let ((_s (fz-linked obj-input-handle)))
    (_s (set! pointer _p)) (_s (set! pointer-size _n)) (_s (open)) _s))
(define (fz-run _states _transitions _p _n _start)
  (let ((_l (fz-linked Lexer)) (_ss '()))
    (for-each (lambda (_name) (let ((_s (fz-linked Lexer-State))) (_s (set-name _name)) (_l (add-state _s))
                                (set! _ss (append _ss (list _s)))))
              _states)
    (for-each (lambda (_t) ((car (list-tail _ss (car _t))) (add-trans (apply fz-trans (cdr _t))))) _transitions)
    (_l (set-handler (fz-linked Fz-Handler)))
    (let ((_in (fz-input _p _n)))
      (_l (run-automaton _in _start nil))
      (_l (get-token)))))
)";

int lexerInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t stateCount = 1 + data[0] % 4;
    size_t transitionCount = data[1] % 12;
    size_t at = 2;
    if (size < at + transitionCount * 6)
        return 0;
    static const char* kCallbacks[] = { "nil", "'tick", "'stop", "'suspend", "'jump" };
    static const int kActions[] = { 0, 1, 2, 3, 65 };
    std::string states = "(list";
    for (size_t i = 0; i < stateCount; ++i)
        states += " 's" + std::to_string(i);
    states += ")";
    std::string transitions = "(list";
    for (size_t i = 0; i < transitionCount; ++i, at += 6) {
        const uint8_t* t = data + at;
        size_t outcome = t[2] % (stateCount + 1);
        transitions += " (list " + std::to_string(t[0] % stateCount) + " " + std::to_string(t[1] % 5) + " "
            + (outcome == stateCount ? std::string("'nowhere") : "'s" + std::to_string(outcome)) + " "
            + std::to_string(kActions[t[3] % 5]) + " " + std::to_string(int(t[4] % 4) - 1) + " "
            + kCallbacks[(t[3] / 5) % 5] + " " + std::to_string(t[5]) + ")";
    }
    transitions += ")";
    std::string input(reinterpret_cast<const char*>(data) + at, size - at);
    std::string padded = input + '\0';
    Value memory = fuzz::memoryWith(reinterpret_cast<const uint8_t*>(padded.data()), padded.size());
    Value ignored = kNil;
    Value statesValue = kNil, transitionsValue = kNil;
    try {
        CatchFrame toplevel(Sym::toplevel);
        statesValue = fuzz::evalText(states.c_str());
        transitionsValue = fuzz::evalText(transitions.c_str());
    } catch (const VEr_Thrower&) {
        fuzz::fail("the automaton's description did not evaluate");
    }
    fuzz::call(ignored, "fz-run", statesValue, transitionsValue, memory, makeInteger(input.size()),
               makeInteger(data[1] / 12 % 4));
    // Kernel objects live until deleted or collected: delete them all, whatever happened.
    if (!fuzz::call(ignored, "fz-cleanup"))
        fuzz::fail("deleting the automaton raised an error");
    fuzz::dispose(memory);
    return 0;
}

} // namespace

int main(int argc, char** argv) { return fuzz::run(argc, argv, lexerInput, [] { fuzz::evalText(kSetup); }); }
