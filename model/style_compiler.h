#pragma once
// Refreshing a style's compiled code: the interface the preprocessing module implements, for the
// store and the places that read new styles.

#include "model/records.h"

namespace orlavine {

class StyleCompiler {
  public:
    virtual ~StyleCompiler() = default;
    virtual void compileStyle(styleContainer& style) = 0;
};

}  // namespace orlavine
