#pragma once
// Starting the desktop program from the browser host, detached from it.

#include <string>
#include <vector>

#include "model/result.h"

namespace orlavine {

// Starts `orlavine` with `arguments`: $ORLAVINE_APP when set, else the program next to this
// one, else `orlavine` on the PATH. Does not wait for it.
Status launchApplication(const std::vector<std::string>& arguments);

}  // namespace orlavine
