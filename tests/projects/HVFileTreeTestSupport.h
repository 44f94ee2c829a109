#pragma once

#include "HVDispatcher.h"
#include "HVError.h"
#include "HVFile.h"
#include "HVFileDelegate.h"
#include "HVFileNodeDocument.h"

#include <string>
#include <vector>

// What the window hears from the tree, as text.
class HVRecordingFileDelegate : public HVFileDelegate {
public:
    void removedChild(HVFile& file, HVFile& parent) override {
        events.push_back("removed " + file.name() + " from " + parent.name());
    }
    void wasDuplicatedToFile(HVFile& file, HVFile& copy) override {
        events.push_back("duplicated " + file.name() + " to " + copy.name());
    }
    void contentBecameAvailable(HVFile& file) override {
        events.push_back("available " + file.name());
    }
    std::optional<bool> fileShouldUpload(HVFile&) override { return uploads; }
    bool presentErrorAlert(const HVError& error) override {
        errors.push_back(error);
        return true;
    }

    bool uploads = false;
    std::vector<std::string> events;
    std::vector<HVError> errors;
};

// A document as the tree sees it.
class HVRecordingDocument : public HVFileNodeDocument {
public:
    void fileContentsChangedExternally() override { events.push_back("changed externally"); }
    void fileContentsDisappeared() override { events.push_back("disappeared"); }
    void filePathDidChange() override { events.push_back("path changed"); }
    void fileContentChangeFinished() override { events.push_back("change finished"); }

    int count(const std::string& event) const {
        int result = 0;
        for (const auto& each : events)
            result += each == event;
        return result;
    }
    std::vector<std::string> events;
};

// The loaded tree as one line: names in order, a directory's children in parentheses, and
// the side indicator of combined projects after a colon when only one side exists.
inline std::string HVDumpTree(HVFile& node, bool withIndicators = false) {
    std::string result;
    for (const auto& child : node.children(false)) {
        if (!result.empty())
            result += " ";
        result += child->name();
        if (withIndicators && !child->indicator().empty())
            result += ":" + child->indicator();
        if (child->childrenMade())
            result += "(" + HVDumpTree(*child, withIndicators) + ")";
    }
    return result;
}

inline bool HVPumpUntil(const std::function<bool()>& condition, double seconds = 20) {
    return HVDispatcher::main().runUntil(condition, seconds);
}
