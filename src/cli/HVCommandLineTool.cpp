#include "HVCommandLineTool.h"

#include "Defaults.h"
#include "HVFileEncodings.h"
#include "HVLineBreaks.h"

#include <ostream>

int HVCommandLineTool::run(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return usage();
    const std::string& command = arguments.front();
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "info" && !rest.empty())
        return info(rest);
    if (command == "paths" && rest.empty()) {
        // Where this program looks for the user's data and for its own.
        m_out << "support\t" << Defaults::supportDirectory() << "\n"
              << "resources\t" << Defaults::applicationResourcesDirectory() << "\n";
        return 0;
    }
    if (command == "help" || command == "--help" || command == "-h") {
        usage();
        return 0;
    }
    return usage();
}

int HVCommandLineTool::usage() {
    m_err << "usage: halvet-cli info FILE...\n"
             "       halvet-cli paths\n"
             "  info    for each file: path, encoding, line breaks, length in UTF-16 units\n"
             "  paths   the support folder and the folder of the shipped data\n";
    return 2;
}

int HVCommandLineTool::info(const std::vector<std::string>& paths) {
    int status = 0;
    for (const auto& path : paths) {
        HVStringEncoding encoding = HVNoStringEncoding;
        HVError error;
        auto text = HVFileEncodings::createWithContentsOfFile(path, encoding, &error);
        if (!text) {
            m_err << "halvet-cli: " << error.description() << "\n";
            status = 1;
            continue;
        }
        std::string name = HVFileEncodings::stringFromEncoding(encoding).value_or("unknown");
        if (error.is(HVErrorDomain, HVEncodingWarningCode))
            name += " (fallback " +
                    *HVFileEncodings::stringFromEncoding(HVSystemDefault8BitEncoding) + ")";
        auto kinds = HVLineBreaks::kindsInText(*text);
        std::string breaks;
        auto add = [&](bool present, const char* label) {
            if (!present)
                return;
            if (!breaks.empty())
                breaks += '+';
            breaks += label;
        };
        add(kinds.lf, "LF");
        add(kinds.cr, "CR");
        add(kinds.crlf, "CRLF");
        if (breaks.empty())
            breaks = "none";
        m_out << path << '\t' << name << '\t' << breaks << '\t' << text->size() << '\n';
    }
    return status;
}
