#pragma once

// Files from the server: the temp-file mode of the data-arrival handler for messages past
// cnxMinSizeTmpFileStore characters, and subProcessReceivedFile, which puts each file kind in
// its fixed place in the data folder.

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace tlv {

class Logger;

// What a received file changes elsewhere: the settings, the lock screen, the server.
class FileTransferHost {
public:
    virtual ~FileTransferHost() = default;
    // A value of the settings store (section "Message paths" or "General").
    virtual void recordSetting(const std::string& section, const std::string& name,
                               const std::string& value) = 0;
    virtual void recordGeneralNumber(const std::string& name, uint32_t value) = 0;
    // The lock screen is loaded and shown.
    virtual bool lockScreenShown() const = 0;
    // Empties its message box and logo so the files can be replaced; loads them again from the
    // message file of the current state and the logo.
    virtual void releaseLockFiles() = 0;
    virtual void reloadLockFiles() = 0;
    virtual void showFollowImage(const std::string& path) = 0;
    virtual void setBackgroundPicture(const std::string& path) = 0;
    // RdyForServScreen "-1"; failures are logged by the sender.
    virtual void sendReadyForServerScreen() = 0;
};

// Destination of a file kind in the data folder; empty for a kind the program does not know.
std::string_view receivedFileName(int kind);

class FileTransfer {
public:
    FileTransfer(Logger& log, std::string dataFolder, FileTransferHost& host);

    bool tempFileMode() const { return m_mode; }
    // buffered: the receive buffer's wire bytes (past the threshold).
    bool enterTempFileMode(std::string_view buffered);
    // One read while the mode is on; true when the end token arrived.
    bool tempFileData(std::string_view data, std::string& rest, std::string& synthetic);
    // Drops an unfinished spill (its connection is gone) and removes the file.
    void leaveTempFileMode();
    // content: the file's bytes, or the FileTemp token when they are in the temporary file.
    void subProcessReceivedFile(int kind, const std::string& content);

    std::string tempPath() const;
    const std::string& header() const { return m_header; }

private:
    void write(std::string_view bytes);
    bool beginSpill(std::string_view buffered);

    Logger& m_log;
    std::string m_dataFolder;
    FileTransferHost& m_host;
    bool m_mode = false;
    std::ofstream m_file;
    std::string m_header;
    uint64_t m_written = 0; // bytes of this transfer in the file
    std::string m_tail;     // its last bytes, up to one less than the end token's length
};

} // namespace tlv
