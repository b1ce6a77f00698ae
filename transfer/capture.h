#pragma once

#include "app/deviceslot.h"

#include <QString>
#include <cstddef>

// Capture files of the device slots: everything a device sends goes unchanged into its slot's
// file while one is open. A write or close that fails stops the capture and says so, so that no
// data is lost without the user knowing.

// Makes a newly opened file the slot's capture file; an earlier one is closed first. Returns the
// error text when the earlier file could not be written completely, otherwise an empty text.
QString StartCapture(TDeviceSlot& slot, TFilePtr file);

// Closes the slot's capture file; returns an error text when its data did not all reach the disk.
QString StopCapture(TDeviceSlot& slot);

// Writes received bytes to the slot's capture file; on failure the capture is stopped and the
// error text returned.
QString WriteCapture(TDeviceSlot& slot, const char* data, std::size_t size);

// Closes the capture files of every slot; returns the first error text.
QString StopAllCaptures();
