#include "model/date.h"

namespace orlavine {

Date Date::now() {
    using namespace std::chrono;
    const auto sinceEpoch = duration<double>(system_clock::now().time_since_epoch());
    return fromUnixSeconds(sinceEpoch.count());
}

}  // namespace orlavine
