// Must not compile: a codec knows nothing of the application.
#include "app/converter.h"
