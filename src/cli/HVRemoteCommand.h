#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// "halvet-cli remote": one remote operation through the same queue and actions as the editor.
class HVRemoteCommand {
public:
    HVRemoteCommand(std::istream& in, std::ostream& out, std::ostream& err)
        : m_in(in), m_out(out), m_err(err) {}

    // The arguments after "remote". Returns the exit status: 0 on success, 1 when the
    // operation failed, 2 for a usage error.
    int run(const std::vector<std::string>& arguments);

    static const char* usageText();

private:
    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
};
