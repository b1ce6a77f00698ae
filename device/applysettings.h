#pragma once

#include "device/portsettings.h"
#include "device/zqlink.h"

// Pushes a settings block into an open device. True when every step that must succeed did; the
// steps after a failing one are not run.
bool ApplySettings(ZQ_HANDLE handle, const TPortSettings& settings);
