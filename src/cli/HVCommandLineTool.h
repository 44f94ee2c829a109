#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The command-line companion: one subcommand per first argument.
class HVCommandLineTool {
public:
    HVCommandLineTool(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Returns the exit status.
    int run(const std::vector<std::string>& arguments);

private:
    int info(const std::vector<std::string>& paths);
    int usage();

    std::ostream& m_out;
    std::ostream& m_err;
};
