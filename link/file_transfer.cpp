#include "link/file_transfer.h"

#include "core/error.h"
#include "core/log.h"
#include "link/message.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tlv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTempName = "received_file.tmp";

struct KindEntry {
    int kind;
    std::string_view file;
    std::string_view section; // empty: not recorded in the settings
    std::string_view name;
};
constexpr KindEntry kKinds[] = {
    {0, "intro.rtf", "Message paths", "Intro"},
    {1, "blocked.rtf", "Message paths", "Blocked"},
    {2, "nocredit.rtf", "Message paths", "No credit"},
    {3, "sessionend.rtf", "Message paths", "Session end"},
    {4, "sessionpaused.rtf", "Message paths", "Session paused"},
    {5, "logo.png", "General", "Logo path"},
    {6, "follow_image.jpg", {}, {}},
    {7, "background_image", {}, {}},
    {8, "server_db_backup.mdb", {}, {}},
    {9, "session_batch_start.bat", {}, {}},
    {10, "session_batch_end.bat", {}, {}},
};

const KindEntry* entryOf(int kind) {
    for (const KindEntry& e : kKinds)
        if (e.kind == kind)
            return &e;
    return nullptr;
}

} // namespace

std::string_view receivedFileName(int kind) {
    const KindEntry* e = entryOf(kind);
    return e ? e->file : std::string_view();
}

FileTransfer::FileTransfer(Logger& log, std::string dataFolder, FileTransferHost& host)
    : m_log(log), m_dataFolder(std::move(dataFolder)), m_host(host) {}

std::string FileTransfer::tempPath() const {
    return (fs::path(m_dataFolder) / kTempName).string();
}

void FileTransfer::write(std::string_view bytes) {
    m_file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!m_file)
        throw TlvError(75, "Path/File access error: " + tempPath());
    m_written += bytes.size();
    // The last bytes written may hold the start of the end token, however small the reads
    // that brought them.
    const size_t keep = tok::kMessageEnd.size() - 1;
    if (bytes.size() >= keep) {
        m_tail.assign(bytes.substr(bytes.size() - keep));
    } else {
        m_tail.append(bytes);
        if (m_tail.size() > keep)
            m_tail.erase(0, m_tail.size() - keep);
    }
}

bool FileTransfer::enterTempFileMode(std::string_view buffered) {
    if (m_mode)
        return false;
    if (m_log.debug())
        m_log.trace("wskCli_DataArrival: BEGIN TempFileStorage");
    try {
        return beginSpill(buffered);
    } catch (const std::exception& e) {
        // Without the file the link keeps buffering in memory, within its own cap.
        m_log.subLogError("frmMain.wskCli_DataArrivalError", e);
        m_file.close();
        m_mode = false;
        m_header.clear();
        return false;
    }
}

bool FileTransfer::beginSpill(std::string_view buffered) {
    std::error_code ec;
    fs::remove(tempPath(), ec);
    m_file = std::ofstream(tempPath(), std::ios::binary | std::ios::trunc);
    if (!m_file)
        throw TlvError(75, "Path/File access error: " + tempPath());
    m_mode = true;
    m_written = 0;
    m_tail.clear();
    // Only the header stays in memory: the token and, for a file, its kind.
    size_t headerEnd = std::min<size_t>(20, buffered.size());
    if (buffered.starts_with(tok::kFileSend)) {
        const size_t sep = buffered.find(tok::kPayloadToken);
        if (sep != std::string_view::npos)
            headerEnd = sep + tok::kPayloadToken.size();
    }
    m_header.assign(buffered.substr(0, headerEnd));
    write(buffered.substr(headerEnd));
    return true;
}

void FileTransfer::leaveTempFileMode() {
    if (!m_mode)
        return;
    m_file.close();
    m_mode = false;
    m_header.clear();
    m_written = 0;
    m_tail.clear();
    std::error_code ec;
    fs::remove(tempPath(), ec);
}

bool FileTransfer::tempFileData(std::string_view data, std::string& rest, std::string& synthetic) {
    if (!m_mode)
        return false;
    const std::string_view token = tok::kMessageEnd;
    const size_t tokLen = token.size();
    // A token that starts in the bytes already written ends within the first bytes of this
    // read: only those are joined to the kept tail, so a read is never copied whole.
    const size_t carried = m_tail.size();
    std::string edge(m_tail);
    edge.append(data.substr(0, std::min(data.size(), tokLen - 1)));
    size_t inTail = edge.find(token);
    if (inTail >= carried)
        inTail = std::string_view::npos;
    const size_t inData = inTail == std::string_view::npos ? data.find(token) : inTail;
    if (inData == std::string_view::npos) {
        write(data);
        return false;
    }
    if (inTail != std::string_view::npos) {
        // Part of the token is in the file already: blank it.
        const size_t k = carried - inTail;
        const std::string blanks(k, ' ');
        m_file.seekp(static_cast<std::streamoff>(m_written - k));
        m_file.write(blanks.data(), static_cast<std::streamsize>(k));
        if (!m_file)
            throw TlvError(75, "Path/File access error: " + tempPath());
        rest.assign(data.substr(tokLen - k));
    } else {
        write(data.substr(0, inData));
        rest.assign(data.substr(inData + tokLen));
    }
    m_file.close();
    if (m_log.debug())
        m_log.trace("wskCli_DataArrival: END TempFileStorage");
    m_mode = false;
    synthetic = m_header;
    synthetic += tok::kFileTemp;
    synthetic += tok::kMessageEnd;
    m_header.clear();
    return true;
}

void FileTransfer::subProcessReceivedFile(int kind, const std::string& content) {
    const bool lockFiles = kind < 6 && entryOf(kind) && m_host.lockScreenShown();
    bool released = false;
    try {
        std::error_code ec;
        if (content != tok::kFileTemp) {
            fs::remove(tempPath(), ec);
            std::ofstream out(tempPath(), std::ios::binary | std::ios::trunc);
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
            out.close();
            if (!out)
                throw TlvError(75, "Path/File access error: " + tempPath());
        }
        if (lockFiles) {
            m_host.releaseLockFiles();
            released = true;
        }
        if (const KindEntry* e = entryOf(kind)) {
            // The destination is fixed by the kind: nothing in the message names a path.
            const std::string dest = (fs::path(m_dataFolder) / e->file).string();
            fs::copy_file(tempPath(), dest, fs::copy_options::overwrite_existing);
            if (!e->section.empty()) {
                m_host.recordSetting(std::string(e->section), std::string(e->name), dest);
                m_host.recordGeneralNumber("Message & Logo Files Type", 1);
            } else if (kind == 6) {
                m_host.showFollowImage(dest);
                m_host.sendReadyForServerScreen();
            } else if (kind == 7) {
                m_host.setBackgroundPicture(dest);
            }
        }
        fs::remove(tempPath(), ec);
    } catch (const std::exception& e) {
        m_log.subLogError("modFunctions.subProcessReceivedFileError", e);
    }
    if (released) {
        try {
            m_host.reloadLockFiles();
        } catch (const std::exception& e) {
            m_log.subLogError("modFunctions.subProcessReceivedFileError", e);
        }
    }
}

} // namespace tlv
