#include "text/text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace orlavine {
namespace {

// What a terminal is shown of a style name: escape sequences (ESC, BEL, CSI as C1) can neither
// retitle nor recolour it, and ordinary text, accents and emoji come through as they are.
TEST(Text, NamesAreShownOnTheTerminalWithTheirControlCharactersEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"Dark mode", "Dark mode"},
        {"caf\xc3\xa9 \xf0\x9f\x8c\x99", "caf\xc3\xa9 \xf0\x9f\x8c\x99"},
        {"\x1b]0;owned\x07", "\\x1b]0;owned\\x07"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},
        {"tab\there\nline\x7f", "tab\\x09here\\x0aline\\x7f"},
        {"\xc2\x9b"
         "31m",
         "\\u009b31m"},
        {"caf\xe9", "caf\\xe9"},
    };
    for (const auto& [name, shown] : cases) {
        EXPECT_EQ(text::forTerminal(name), shown) << name;
    }
}

}  // namespace
}  // namespace orlavine
