#include "extension/page_css.h"

namespace orlavine {

std::string assemblePageCSS(const CompiledLibrary& library, std::string_view address, bool isFrame,
                            bool enableStyles) {
    if (!enableStyles) {
        return {};
    }
    return library.pageCSS(address, isFrame);
}

std::vector<styleKeys> activeStyleKeys(const CompiledLibrary& library, std::string_view address,
                                       bool enableStyles) {
    if (!enableStyles) {
        return {};
    }
    return library.activeStyles(address);
}

}  // namespace orlavine
