// Kernel/Prolog.h: the entry points of the Prolog engine that the evaluator and the compiler use.
#pragma once

#include "Kernel/Value.h"

// (new-clause args . body): the compiled clause (n . ((new-clause . args) . body)), n being the
// number of variable slots the clause uses.
Value newClauseForm(Value form);
// The compiler's part of new-clause (Kernel/Walker.cpp): compiles the clause at a fresh level.
Value compileClause(Value form);
// The value of a variable whose slot holds a Lisp-stack reference: the fully dereferenced term.
// A reference that ends at an unbound variable raises the unbound error with the variable.
Value prologDereference(Value reference, Value variable);
// One step of the evaluator's periodic event polling (Kernel/Eval.cpp).
void pollEventsPeriodically();
