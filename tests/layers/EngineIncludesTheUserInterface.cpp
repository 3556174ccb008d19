// An engine file that includes the shared windows of common/ui: the
// engine's include root reaches only the user-interface-free part of
// common/, so this must not compile.
#include "common/ui/Window.h"
