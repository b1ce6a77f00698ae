#pragma once

// The serial backend on Windows, through the Win32 comm API. It needs no Qt, so that it can be
// built and checked on its own (under Wine, against a pseudo-terminal).

#include "device/port.h"

#include <memory>
#include <string>

// Opens a COM port exclusively: "COM3" (any number), or a device path beginning with "\\".
// Returns nullptr and fills failure when the port cannot be opened.
std::unique_ptr<TPort> OpenWin32Serial(const std::wstring& portName, TOpenFailure& failure);
