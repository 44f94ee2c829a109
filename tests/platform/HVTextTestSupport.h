#pragma once

#include "HVAttributes.h"
#include "HVTextBuffer.h"

#include <cstdio>
#include <string>

// An attachment that stands for a fixed text, as a collapsed region does.
class HVTestTextAttachment : public HVTextAttachment {
public:
    explicit HVTestTextAttachment(std::u16string string) : m_string(std::move(string)) {}
    const std::u16string& string() const override { return m_string; }

private:
    std::u16string m_string;
};

// "start+length{name=value,...}" for every run; an attachment shows its text and its address,
// so that a comparison also tells whether it is the same object.
inline std::string HVDescribeRuns(const HVTextBuffer& buffer) {
    std::string out;
    buffer.enumerateRuns({0, buffer.length()}, [&](HVRange range, const HVAttributes& attributes) {
        out += std::to_string(range.location) + "+" + std::to_string(range.length) + "{";
        for (const auto& [name, value] : attributes) {
            out += name + "=";
            if (const auto* text = std::get_if<std::string>(&value)) {
                out += *text;
            } else if (const auto* attachment =
                           std::get_if<std::shared_ptr<const HVTextAttachment>>(&value)) {
                char address[32];
                std::snprintf(address, sizeof address, "@%p", (const void*)attachment->get());
                for (char16_t c : (*attachment)->string())
                    out += c < 0x80 ? char(c) : '?';
                out += address;
            } else {
                out += "?";
            }
            out += ",";
        }
        out += "} ";
    });
    return out;
}
