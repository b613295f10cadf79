#include "file_removal/uninstall_state.h"

// Constant-initialised: lives in the image's data, no start-up code needed.
UninstallStateRecord UninstallState = {false, true};
