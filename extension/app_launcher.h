#pragma once
// Starting the desktop program from the browser host, detached from it.

#include <string>
#include <vector>

#include "model/result.h"

namespace orlavine {

// Starts `orlavine` with `arguments`: $ORLAVINE_APP when set, else the program next to this
// one, else `orlavine` on the PATH, in a session of its own with standard input, output and error
// on /dev/null. Does not wait for it, but starts no other while the last one started still runs
// (that request fails).
Status launchApplication(const std::vector<std::string>& arguments);

}  // namespace orlavine
