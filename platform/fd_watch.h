#pragma once

#include <functional>
#include <memory>

namespace tlv {

// Calls back on the one client thread whenever a file descriptor has data to read; stops when
// the object goes.
class FdWatch {
public:
    virtual ~FdWatch() = default;
};

using FdWatchFactory =
    std::function<std::unique_ptr<FdWatch>(int fd, std::function<void()> onReadable)>;

} // namespace tlv
