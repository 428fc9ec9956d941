// Must not compile: the application layer never sees the window.
#include "gui/main_window.h"
