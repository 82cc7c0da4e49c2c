#include "platform/linux/process_info.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace tlv {

std::string runningExecutableFolder() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : exe.parent_path().string();
}

bool standardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

} // namespace tlv
