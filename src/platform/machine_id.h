// The identity of the machine the program runs on, as the system keeps it: by it the production
// record tells the PC it was made on from a PC it was copied to.
#pragma once

#include <string>

namespace vx3::platform {

// The machine's identity: /etc/machine-id (else /var/lib/dbus/machine-id) on Linux, the
// MachineGuid of HKLM\SOFTWARE\Microsoft\Cryptography on Windows; lower case, without spaces.
// Empty when the system keeps none.
std::string MachineId();

}  // namespace vx3::platform
