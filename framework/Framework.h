// The dialog framework in one include.
//
// No exceptions: the Windows programs and Fitment.dll are built with -fno-exceptions, and nothing
// in them throws or catches. Only allocation can fail, and the shipped runtime
// (cmake/release/LeanRuntime.cpp) ends the process at once when a small allocation finds no memory,
// as an uncaught std::bad_alloc would. Where the amount comes from outside and may be large (the
// stroke store and its painting, the driver's device list), the code allocates with std::nothrow
// and reports the failure as the place's own error.
#pragma once

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/FrameworkResource.h"
#include "framework/GenericWindow.h"
#include "framework/MessageMap.h"
#include "framework/Window.h"
