// Interfac/Movie.cpp: the Movie Module. Its primitives arrive with the work on this area.
#include "Kernel/Module.h"

namespace {

class MovieModule final : public Module {
public:
    MovieModule() : Module("Movie") {}
} theMovieModule;

} // namespace
