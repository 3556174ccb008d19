// The same compile as the refused ones, of what the engine may include: it
// must compile, so that the refusals fail for the layer and nothing else.
#include "common/Raii.h"
#include "engine/SourceWalk.h"
