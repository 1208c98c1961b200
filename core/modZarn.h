#pragma once
// Everything of the module modZarn in one include: the shared state and every
// routine of the module. Add a module header here when it is created.
#include "core/state.h"     // shared variables and tables
#include "core/sysconfig.h" // system configuration file, CommSettingsString
#include "core/deffiles.h"  // definition file readers
#include "core/helpers.h"   // addresses, models, protocol codes, paths, bits, clocks
#include "core/transports.h" // Modbus RTU, Modbus ASCII and "Zarn Link" transports
#include "core/dispatch.h"   // register dispatch, status word, process value
#include "core/startup.h"    // main, InitComm
