#pragma once
// The device-session layer the window uses (kalvort::workflow). Until that layer is part of the
// core, a header-only stand-in with the same names and meanings fills in.

#if __has_include("workflow/DeviceSession.h")
#include "workflow/DeviceSession.h"
#include "workflow/DeviceStatus.h"
#include "workflow/DeviceTarget.h"
#else
#include "support/InterimDeviceSession.h"
#endif
