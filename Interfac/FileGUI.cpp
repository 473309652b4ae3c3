// Interfac/FileGUI.cpp: the FileGUI Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class FileGUIModule final : public Module {
public:
    FileGUIModule() : Module("FileGUI") {}
} theFileGUIModule;

} // namespace
