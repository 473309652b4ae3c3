// Interfac/Intl.cpp: the Intl Module: the decimal separator of the regional settings.
#include "Kernel/Module.h"
#include "Kernel/Number.h"
#include "Platform/Settings/Settings.h"

namespace {

Value getDotmark()
{
    std::string separator = settingsString("intl", "sDecimal", ".");
    return makeImmediate(static_cast<uint8_t>(separator.empty() ? '.' : separator[0]));
}

class IntlModule final : public Module {
public:
    IntlModule() : Module("Intl") {}

    void start() override
    {
        Module::start();
        defineFunction0("get-dotmark", getDotmark);
    }
} theIntlModule;

} // namespace
