#pragma once

#include "link/link_host.h"
#include "link/snapshot.h"

namespace tlv {

class FileTransfer;

// The link's extension points filled by the session snapshot and the file transfer; either
// may be absent (then the link behaves as without it).
class LinkExtensions : public ExtensionsPort {
public:
    void setSnapshot(SessionSnapshot* s) { m_snapshot = s; }
    void setFileTransfer(FileTransfer* f) { m_files = f; }

    bool tempFileMode() const override;
    bool enterTempFileMode(std::string_view buffered) override;
    bool tempFileData(std::string_view data, std::string& rest, std::string& synthetic) override;
    void leaveTempFileMode() override;
    void subProcessReceivedFile(int kind, const std::string& content) override;
    void subSerializeUser() override {
        if (m_snapshot)
            m_snapshot->subSerializeUser();
    }
    void subInitSerializedUser() override {
        if (m_snapshot)
            m_snapshot->subInitSerializedUser();
    }
    void subEmptySerializedUser() override {
        if (m_snapshot)
            m_snapshot->subEmptySerializedUser();
    }

private:
    SessionSnapshot* m_snapshot = nullptr;
    FileTransfer* m_files = nullptr;
};

} // namespace tlv
