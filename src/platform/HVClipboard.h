#pragma once

#include <optional>
#include <string>
#include <string_view>

// A clipboard of plain text. The GUI installs one over the system clipboard as the general
// clipboard; tests and the command line use the in-memory one.
class HVClipboard {
public:
    virtual ~HVClipboard();
    // The text on the clipboard; none when it holds no text.
    virtual std::optional<std::u16string> string() const = 0;
    virtual void setString(std::u16string_view text) = 0;

    // The application's general clipboard: the one installed with setGeneral(), or else a
    // process-wide in-memory one. Main thread only.
    static HVClipboard& general();
    // Not owned; null goes back to the in-memory clipboard.
    static void setGeneral(HVClipboard* clipboard);
};

// A clipboard that keeps its text in memory.
class HVMemoryClipboard : public HVClipboard {
public:
    std::optional<std::u16string> string() const override;
    void setString(std::u16string_view text) override;
    void clear();

private:
    std::optional<std::u16string> m_text;
};
