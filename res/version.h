// The program's version, in one place for the version resource and the code.
#pragma once

#define LUMIVANE_VERSION_MAJOR 1
#define LUMIVANE_VERSION_MINOR 0
#define LUMIVANE_VERSION_PATCH 5
#define LUMIVANE_VERSION_TEXT "1.0.5"
