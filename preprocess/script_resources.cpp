#include "preprocess/script_resources.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace orlavine {
namespace {

constexpr std::uintmax_t kMaxScriptBytes = std::uintmax_t{16} << 20;

}  // namespace

std::filesystem::path programScriptDirectory() {
    std::error_code error;
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return "resources";
    }
    const auto here = program.parent_path() / "resources";
    const auto installed = program.parent_path().parent_path() / "share" / "orlavine" / "resources";
    if (!std::filesystem::is_directory(here, error) &&
        std::filesystem::is_directory(installed, error)) {
        return installed;
    }
    return here;
}

std::optional<std::string> readScript(const std::filesystem::path& directory,
                                      std::string_view name) {
    const auto file = directory / name;
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (error || size > kMaxScriptBytes) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return std::nullopt;
    }
    return text;
}

}  // namespace orlavine
