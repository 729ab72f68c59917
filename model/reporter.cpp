#include "model/reporter.h"

#include <cstdio>

namespace orlavine {

void StderrReporter::consoleLine(std::string_view line) {
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void StderrReporter::showAlert(std::string_view message, std::string_view informative) {
    std::lock_guard lock(mutex_);
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(message.size()), message.data(),
                 static_cast<int>(informative.size()), informative.data());
}

}  // namespace orlavine
