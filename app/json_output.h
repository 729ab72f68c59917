#pragma once
// The `--json` forms of command results: one JSON document on standard output, with the shapes
// the README documents. Texts are written as the library holds them (valid UTF-8).

#include <boost/json/value.hpp>

namespace orlavine {

void printJson(const boost::json::value& document);

}  // namespace orlavine
