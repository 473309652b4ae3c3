// Interfac/Printing.cpp: the Printing Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class PrintingModule final : public Module {
public:
    PrintingModule() : Module("Printing") {}
} thePrintingModule;

} // namespace
