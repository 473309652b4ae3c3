// Interfac/Main.cpp: the program entry and the command line.
#include "Interfac/CommandLine.h"

int main(int argc, char** argv) { return runCommandLine(argc, argv); }
