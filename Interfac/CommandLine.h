// Interfac/CommandLine.h: what velora does with its arguments.
#pragma once

int runCommandLine(int argc, char** argv);
