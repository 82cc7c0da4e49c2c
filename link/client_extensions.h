#pragma once

#include "link/extensions.h"
#include "link/file_transfer.h"
#include "link/snapshot.h"

#include <memory>
#include <string>

namespace tlv {

class Client;
class LinkForms;
class ServerLink;

// The session snapshot and the file transfer over the client object, plugged into the
// link's extension port (create after the ClientLink that uses `ext`).
class ClientExtensions : private SnapshotRestorer, private FileTransferHost {
public:
    ClientExtensions(Client& client, ServerLink& link, LinkForms& forms, LinkExtensions& ext);
    ~ClientExtensions() override;

    SessionSnapshot& snapshot() { return *m_snapshot; }
    FileTransfer& files() { return *m_files; }
    // Kind 7: the background picture the batch and cleanup code use.
    const std::string& backgroundPicture() const { return m_background; }

private:
    // SnapshotRestorer
    void subDefaultState() override;
    void setCounters(const ResumedCounters& c) override;
    // FileTransferHost
    void recordSetting(const std::string& section, const std::string& name,
                       const std::string& value) override;
    void recordGeneralNumber(const std::string& name, uint32_t value) override;
    bool lockScreenShown() const override;
    void releaseLockFiles() override {}
    void reloadLockFiles() override;
    void showFollowImage(const std::string& path) override;
    void setBackgroundPicture(const std::string& path) override { m_background = path; }
    void sendReadyForServerScreen() override;

    Client& m_c;
    ServerLink& m_link;
    LinkForms& m_forms;
    LinkExtensions& m_ext;
    SettingsSnapshotStore m_store;
    std::unique_ptr<SessionSnapshot> m_snapshot;
    std::unique_ptr<FileTransfer> m_files;
    std::string m_background;
};

} // namespace tlv
