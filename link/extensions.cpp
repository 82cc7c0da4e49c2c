#include "link/extensions.h"

#include "link/file_transfer.h"

namespace tlv {

bool LinkExtensions::tempFileMode() const {
    return m_files && m_files->tempFileMode();
}

bool LinkExtensions::enterTempFileMode(std::string_view buffered) {
    return m_files && m_files->enterTempFileMode(buffered);
}

bool LinkExtensions::tempFileData(std::string_view data, std::string& rest,
                                  std::string& synthetic) {
    return m_files && m_files->tempFileData(data, rest, synthetic);
}

void LinkExtensions::leaveTempFileMode() {
    if (m_files)
        m_files->leaveTempFileMode();
}

void LinkExtensions::subProcessReceivedFile(int kind, const std::string& content) {
    if (m_files)
        m_files->subProcessReceivedFile(kind, content);
}

} // namespace tlv
