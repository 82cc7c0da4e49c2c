#pragma once

#include <string>
#include <vector>

namespace tlv {

class Logger;

// The files the data folder is given on first start: the "en_" message documents and the logo.
const std::vector<std::string>& defaultDocumentNames();

// Copies every default document that is missing from the data folder (created when absent).
// Files already there, such as those the server sent, are never replaced. Returns the names
// written; failures are logged and the remaining files are still tried.
std::vector<std::string> installDefaultDocuments(const std::string& dataFolder, Logger* log);

} // namespace tlv
