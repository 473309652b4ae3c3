// Interfac/VAlert.cpp: the VAlert Module and the alert table. Until windows exist an alert writes
// its text on standard error and answers with its default button.
#include "Interfac/VAlert.h"

#include "Kernel/Module.h"

#include <cstdio>

namespace {

struct AlertTemplate {
    int number;
    const char* text;
    int defaultButton;
};

const AlertTemplate kAlerts[] = {
    { 5000, "There is not enougth RAM memory : ^0 K", 1 },
    { 5300, "The file is not of a good type.", 1 },
    { 5500, "An error has occured.  You should save your file, quit and reload the software.", 1 },
    { 5600, "Out of Memory", 1 },
    { 6100, "^0", 1 },
};

} // namespace

std::string alertText(int number, const std::vector<std::string>& parameters)
{
    std::string pattern = "Alert " + std::to_string(number);
    for (const AlertTemplate& a : kAlerts)
        if (a.number == number)
            pattern = a.text;
    std::string text;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '^' && i + 1 < pattern.size() && pattern[i + 1] >= '0' && pattern[i + 1] <= '3') {
            size_t k = static_cast<size_t>(pattern[++i] - '0');
            if (k < parameters.size())
                text += parameters[k];
        } else {
            text += pattern[i];
        }
    }
    return text;
}

namespace {
AlertSink gAlertSink = nullptr;
}

void setAlertSink(AlertSink sink) { gAlertSink = sink; }

int showAlert(int number, const std::vector<std::string>& parameters)
{
    int defaultButton = 1;
    for (const AlertTemplate& a : kAlerts)
        if (a.number == number)
            defaultButton = a.defaultButton;
    std::string text = alertText(number, parameters);
    if (gAlertSink)
        return gAlertSink(number, text, defaultButton);
    std::fprintf(stderr, "%s\n", text.c_str());
    return defaultButton;
}

namespace {

class VAlertModule final : public Module {
public:
    VAlertModule() : Module("VAlert") {}
} valertModule;

} // namespace
