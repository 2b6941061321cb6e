// The dialog framework in one include.
#pragma once

#include "framework/App.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/FrameworkResource.h"
#include "framework/GenericWindow.h"
#include "framework/MessageMap.h"
#include "framework/Window.h"
