// Interfac/File.cpp: the File Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class FileModule final : public Module {
public:
    FileModule() : Module("File") {}
} theFileModule;

} // namespace
