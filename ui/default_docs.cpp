#include "ui/default_docs.h"

#include "core/error.h"
#include "core/log.h"

#include <QDir>
#include <QFile>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initDefaultDocsResource() {
    Q_INIT_RESOURCE(default_docs);
}

namespace tlv {

const std::vector<std::string>& defaultDocumentNames() {
    static const std::vector<std::string> kNames = {"en_intro.rtf",         "en_blocked.rtf",
                                                    "en_nocredit.rtf",      "en_sessionend.rtf",
                                                    "en_sessionpaused.rtf", "logo.png"};
    return kNames;
}

namespace {

void ensureResources() {
    // The resources live in a static library: register them before the first use.
    static const bool kRegistered = [] {
        initDefaultDocsResource();
        return true;
    }();
    (void)kRegistered;
}

bool installOne(const QString& folder, const QString& name) {
    const QString target = QDir(folder).filePath(name);
    if (QFileInfo::exists(target))
        return false;
    QFile source(":/docs/" + name);
    if (!source.open(QIODevice::ReadOnly))
        throw TlvError(kErrFileNotFound, "File not found: " + name.toStdString());
    const QByteArray bytes = source.readAll();
    // Written beside the target and moved in place: a rename never replaces a file that
    // appeared meanwhile, and a failed write leaves no half document behind.
    const QString temp = target + ".tmp-default";
    QFile::remove(temp);
    QFile out(temp);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size() ||
        !out.flush()) {
        out.close();
        QFile::remove(temp);
        throw TlvError(kErrPathAccess, "Path/File access error: " + target.toStdString());
    }
    out.close();
    if (!QFile::rename(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> installDefaultDocuments(const std::string& dataFolder, Logger* log) {
    ensureResources();
    std::vector<std::string> written;
    const QString folder = QString::fromStdString(dataFolder);
    QDir().mkpath(folder);
    for (const std::string& name : defaultDocumentNames()) {
        try {
            if (installOne(folder, QString::fromStdString(name)))
                written.push_back(name);
        } catch (const TlvError& e) {
            if (log)
                log->subLogError("modFunctions.subInstallDefaultDocumentsError", e);
        }
    }
    return written;
}

} // namespace tlv
