#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class HVBundle;

// The command-line companion: one subcommand per first argument.
class HVCommandLineTool {
public:
    HVCommandLineTool(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Returns the exit status.
    int run(const std::vector<std::string>& arguments);

private:
    int info(const std::vector<std::string>& paths);
    // highlight [--theme ID] [--format html|ansi|runs] FILE
    int highlight(const std::vector<std::string>& arguments);
    // outline FILE
    int outline(const std::vector<std::string>& arguments);
    int usage();

    // A file read as the editor reads it: the language chosen by the extension, the bytes
    // decoded, the line breaks made the preferred kind. None, with the reason written to the
    // error stream, when the file cannot be read or no language claims its extension.
    struct LoadedFile {
        std::shared_ptr<HVBundle> bundle;
        std::u16string text;
    };
    std::optional<LoadedFile> load(const std::string& path);

    std::ostream& m_out;
    std::ostream& m_err;
};
