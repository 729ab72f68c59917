#include "app/json_output.h"

#include <fmt/format.h>
#include <boost/json/serialize.hpp>

namespace orlavine {

void printJson(const boost::json::value& document) {
    fmt::print("{}\n", boost::json::serialize(document));
}

}  // namespace orlavine
