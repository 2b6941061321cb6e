// Resource ids of the framework's own strings. Every program's .rc includes Framework.rc, so these
// ids share the program's string table: programs keep their own ids below 0xE000.
#pragma once

#define IDS_FW_ENTER_INTEGER 0xE000
