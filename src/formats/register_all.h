// Registers every graphic kind of the converter, in the order the program registers them.
#pragma once

namespace pamirune {
void RegisterGraphicKinds();
}
