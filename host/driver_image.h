// Loading the driver image afresh: the driver's globals take their load-time
// values again, as after a reboot. Tests use it so each starts from a clean load.
#pragma once

namespace host {

// Frees the capture buffers if held and puts every driver-wide global back.
void ReloadDriverImage();

}  // namespace host
