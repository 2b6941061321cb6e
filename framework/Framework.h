// The dialog framework in one include.
//
// Exceptions: the Windows programs are built with them, and only allocation throws
// (std::bad_alloc from the standard library). Nothing is caught where it is thrown unless that
// place has a better answer to a full memory than giving up (the stroke store and its painting, the device list).
// Otherwise it is caught exactly once where the system calls in: each window procedure of the
// framework (a message that ran out of memory gets the default answer), each thread entry (App::Run
// for the main thread ends the process with 1, CalibrationWorker's ends the calibration) and the
// EnumDisplayMonitors callback. Handlers leave their objects consistent at every allocation: an
// exception may end a message half handled, never with a handle or a window left unowned.
// OnFinalMessage and destructors must not throw. Fitment.dll is built without exceptions.
#pragma once

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/FrameworkResource.h"
#include "framework/GenericWindow.h"
#include "framework/MessageMap.h"
#include "framework/Window.h"
