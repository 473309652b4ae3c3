// Kernel/ModuleTable.h: the registry order of the Modules and their dependencies.
#pragma once

extern const char* const kModuleTable[];
extern const int kModuleTableSize;

struct ModuleDependency {
    const char* module;
    const char* dependsOn;
};
extern const ModuleDependency kModuleDependencies[];
extern const int kModuleDependencyCount;
