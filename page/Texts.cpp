#include "page/Texts.h"

namespace tessera::page {

std::string FileNotFoundMessage(const std::string& path) { return "The file \"" + path + "\" was not found."; }

std::string FileNotWrittenMessage(const std::string& path, const std::string& reason) {
    std::string message = "The file \"" + path + "\" could not be written.";
    if (!reason.empty()) message += " " + reason;
    return message;
}

std::string WithExtension(std::string name, std::string_view extension) {
    if (name.find(extension) == std::string::npos) name += extension;
    return name;
}

}  // namespace tessera::page
