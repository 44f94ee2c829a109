#include "HVCommandLineTool.h"

#include "Defaults.h"
#include "HVBundle.h"
#include "HVBundleRepository.h"
#include "HVCodeNavParser.h"
#include "HVCodeNavigation.h"
#include "HVFileEncodings.h"
#include "HVFileSystem.h"
#include "HVHighlightOutput.h"
#include "HVLineBreaks.h"
#include "HVParser.h"
#include "HVRemoteCommand.h"
#include "HVSearchCommand.h"
#include "HVSyntaxHighlighting.h"
#include "HVTextBuffer.h"
#include "HVTheme.h"
#include "HVThemeRepository.h"
#include "HVUnicode.h"

#include <iostream>
#include <ostream>

int HVCommandLineTool::run(const std::vector<std::string>& arguments) {
    if (arguments.empty())
        return usage();
    const std::string& command = arguments.front();
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "info" && !rest.empty())
        return info(rest);
    if (command == "highlight" && !rest.empty())
        return highlight(rest);
    if (command == "remote")
        return HVRemoteCommand(std::cin, m_out, m_err).run(rest);
    if (command == "search")
        return HVSearchCommand(m_out, m_err).run(rest);
    if (command == "outline" && rest.size() == 1)
        return outline(rest);
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
             "       halvet-cli highlight [--theme ID] [--format html|ansi|runs] FILE\n"
             "       halvet-cli outline FILE\n"
          << HVRemoteCommand::usageText() << HVSearchCommand::usageText()
          << "       halvet-cli paths\n"
             "  info       for each file: path, encoding, line breaks, length in UTF-16 units\n"
             "  highlight  the file highlighted by the language its extension names: an HTML\n"
             "             page (the default), terminal colours, or one line per run: start,\n"
             "             length (UTF-16 units), style id, language\n"
             "  outline    the file's code navigation: line number and title per entry\n"
             "  remote     one operation on a server, through the editor's own remote queue;\n"
             "             ls prints kind (d, f, l), size and name per line\n"
             "  search     the editor's search across files and folders (text files in their own\n"
             "             encodings): path:line:column:text per match, columns in characters;\n"
             "             literal and case-sensitive unless --regex (PCRE) or --ignore-case;\n"
             "             --count prints path:count per file; exit 0 matched, 1 none, 2 error\n"
             "  paths      the support folder and the folder of the shipped data\n";
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

std::optional<HVCommandLineTool::LoadedFile> HVCommandLineTool::load(const std::string& path) {
    HVStringEncoding encoding = HVNoStringEncoding;
    HVError error;
    auto text = HVFileEncodings::createWithContentsOfFile(path, encoding, &error);
    if (!text) {
        m_err << "halvet-cli: " << error.description() << "\n";
        return std::nullopt;
    }
    if (error.is(HVErrorDomain, HVEncodingWarningCode))
        m_err << "halvet-cli: warning: " << error.description() << "\n";

    // The language as the editor chooses it: by the file name's extension, exactly, or by a
    // dot-file's whole name.
    HVCodeNavParser::registerWithBundles();
    std::string extension = HVBundleRepository::fileTypeOfName(path);
    auto bundle =
        extension.empty()
            ? nullptr
            : HVBundleRepository::sharedRepository().bundleForFileCategory(nullptr, extension);
    if (!bundle || !bundle->parser()) {
        if (extension.empty())
            m_err << "halvet-cli: " << path
                  << ": unknown file type: the name has no extension to choose a language by\n";
        else
            m_err << "halvet-cli: " << path << ": unknown file type: no language bundle claims "
                  << "the extension \"" << extension << "\"\n";
        return std::nullopt;
    }
    // Line breaks of the preferred kind, so that the output has one kind; a text that has only
    // that kind already is kept as it is, which spares a copy of a large file.
    HVLineBreaks::switchLineBreaksInPlace(*text, HVLineBreaks::preferredType());
    return LoadedFile{std::move(bundle), std::move(*text)};
}

int HVCommandLineTool::highlight(const std::vector<std::string>& arguments) {
    std::optional<std::string> themeIdentifier;
    std::string format = "html";
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        auto value = [&](std::string_view option) -> std::optional<std::string> {
            if (argument == option && i + 1 < arguments.size())
                return arguments[++i];
            std::string prefix = std::string(option) + "=";
            if (argument.compare(0, prefix.size(), prefix) == 0)
                return argument.substr(prefix.size());
            return std::nullopt;
        };
        if (auto theme = value("--theme")) {
            themeIdentifier = *theme;
        } else if (auto chosen = value("--format")) {
            format = *chosen;
        } else if (argument.size() > 1 && argument[0] == '-') {
            m_err << "halvet-cli: unknown option " << argument << "\n";
            return usage();
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1)
        return usage();
    if (format != "html" && format != "ansi" && format != "runs") {
        m_err << "halvet-cli: unknown format \"" << format << "\" (html, ansi or runs)\n";
        return 2;
    }

    HVThemeRepository& themes = HVThemeRepository::sharedRepository();
    std::shared_ptr<HVTheme> theme =
        themeIdentifier ? themes.themeWithIdentifier(*themeIdentifier) : themes.currentTheme();
    if (!theme) {
        if (themeIdentifier)
            m_err << "halvet-cli: no theme has the identifier \"" << *themeIdentifier << "\"\n";
        else
            m_err << "halvet-cli: no theme is installed\n";
        return 1;
    }

    auto file = load(files.front());
    if (!file)
        return 1;
    HVParser& parser = *file->bundle->parser();
    parser.setTheme(theme);
    HVTextBuffer buffer;
    buffer.adoptString(std::move(file->text));
    HVSyntaxHighlighting::highlightText(buffer, parser, *theme);

    if (format == "runs")
        HVHighlightOutput::writeRuns(m_out, buffer);
    else if (format == "ansi")
        HVHighlightOutput::writeANSI(m_out, buffer, *theme);
    else
        HVHighlightOutput::writeHTML(m_out, buffer, *theme,
                                     HVFileSystem::lastPathComponent(files.front()));
    m_out.flush();
    return m_out ? 0 : 1;
}

int HVCommandLineTool::outline(const std::vector<std::string>& arguments) {
    auto file = load(arguments.front());
    if (!file)
        return 1;
    HVTextBuffer buffer(file->text);
    std::u16string_view text = buffer.string();
    std::string lines;
    for (const HVCodeNavEntry& entry :
         file->bundle->parser()->codeNavItemsForString(text, {0, text.size()})) {
        lines += std::to_string(buffer.lineNumberForIndex(entry.range.location) + 1);
        lines += '\t';
        lines += entry.separator ? std::string("-") : HVUnicode::utf8(entry.title);
        lines += '\n';
    }
    m_out << lines;
    m_out.flush();
    return m_out ? 0 : 1;
}
