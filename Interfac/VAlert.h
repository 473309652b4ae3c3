// Interfac/VAlert.h: alerts by number, with the four parameter strings ^0 to ^3.
#pragma once

#include <string>
#include <vector>

// Shows alert number with parameters and returns the button chosen (1 is the first button).
// Without a window system the alert's text goes to standard error and the default button answers.
int showAlert(int number, const std::vector<std::string>& parameters);
// The text of an alert in the current alert language, with its parameters filled in.
std::string alertText(int number, const std::vector<std::string>& parameters);

// Where alerts go while no window system shows them (the command line writes each one on standard
// error). The sink answers with the button chosen; without one, the text goes to standard error
// and the default button answers.
using AlertSink = int (*)(int number, const std::string& text, int defaultButton);
void setAlertSink(AlertSink sink);
