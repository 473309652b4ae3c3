// Kernel/Database.cpp: the Database Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class DatabaseModule final : public Module {
public:
    DatabaseModule() : Module("Database") {}
} theDatabaseModule;

} // namespace
