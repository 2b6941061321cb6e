#include "calibrate/CalibrationApp.h"

// The program's one application object; the framework's wWinMain runs its start-up.
calibrate::CalibrationApp theApp;
