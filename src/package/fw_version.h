// Compares the firmware version offered by the package with the one flashed on an adapter and
// proposes the action. Called by the adapter enumeration for every adapter function; it only
// compares text and logs which field it is comparing, and cannot fail.
#ifndef VXINS_FW_VERSION_H
#define VXINS_FW_VERSION_H

#include <string>

#include "qrvl_device.h"

// Offered version first, installed second, both "Major.Minor.Maintenance.Patch". Yields
// FW_STATUS_UPGRADE (offered newer, or either version empty), FW_STATUS_DOWNGRADE (offered
// older) or FW_STATUS_REWRITE (equal). A missing or empty field reads as 0; a field too large
// for an int saturates.
fw_action_status_t getFwVerStatus(std::string passed_fwver, std::string flashed_fwver);

#endif
