#include "settings/SettingsApp.h"

// The program's one application object; the framework's wWinMain runs its start-up.
settings::SettingsApp theApp;
