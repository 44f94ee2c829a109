#pragma once

#include "HVError.h"
#include "HVPlistValue.h"

#include <optional>
#include <string>

class HVProject;

// What a project tells its window (or another observer), always on the main thread. Every
// operation is optional: the defaults do nothing, which counts as not answered.
class HVProjectDelegate {
public:
    virtual ~HVProjectDelegate() = default;
    virtual void setStatusString(HVProject& /*project*/, const std::string& /*status*/) {}
    virtual void showProgress(HVProject& /*project*/, bool /*show*/) {}
    virtual void didConnectToRemoteSite(HVProject& /*project*/, bool /*connected*/) {}
    virtual void closedRemoteConnection(HVProject& /*project*/) {}
    // Ask for a user name and password, store them in the remote configuration and connect
    // again.
    virtual void needsRemoteCredentials(HVProject& /*project*/) {}
    virtual void presentErrorAlert(HVProject& /*project*/, const HVError& /*error*/) {}
    // One entry per open document, in the window's order ("path" from the root and, for text,
    // "position"); none when not answered, which leaves "HVOpenFiles" as it is.
    virtual std::optional<HVPlistValue::Array> openFileInformation(HVProject& /*project*/) {
        return std::nullopt;
    }
};
