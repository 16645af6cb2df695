#pragma once

// The atomic writes moved down to platform/ so that Quillet, which shares only that layer, writes the same way.
#include "platform/AtomicFile.h"
