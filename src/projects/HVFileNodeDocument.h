#pragma once

// What a file node tells the document that shows it: the file changed or vanished on disk, it
// was moved or renamed, or a change of its content (an upload after a save) has finished.
class HVFileNodeDocument {
public:
    virtual ~HVFileNodeDocument() = default;
    virtual void fileContentsChangedExternally() = 0;
    virtual void fileContentsDisappeared() = 0;
    virtual void filePathDidChange() = 0;
    virtual void fileContentChangeFinished() = 0;
};
