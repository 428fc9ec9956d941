// Must not compile: the platform layer implements the seams and sees nothing else of app/.
#include "app/converter.h"
