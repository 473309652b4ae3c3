// Interfac/Table.cpp: the Table Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class TableModule final : public Module {
public:
    TableModule() : Module("Table") {}
} theTableModule;

} // namespace
