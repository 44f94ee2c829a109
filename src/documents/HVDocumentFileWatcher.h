#pragma once

#include <map>
#include <memory>

class HVFileDocument;
class HVKQueue;

// Watches the files of documents that no project tree watches: a file opened on its own (its
// node has no parent). A project root watches its own nodes. A change reaches the document on
// the main thread: a missing file as a disappearance, anything else that is not the document's
// own last read or write as an outside change.
class HVDocumentFileWatcher {
public:
    static HVDocumentFileWatcher& sharedInstance();
    ~HVDocumentFileWatcher();
    HVDocumentFileWatcher(const HVDocumentFileWatcher&) = delete;
    HVDocumentFileWatcher& operator=(const HVDocumentFileWatcher&) = delete;

    // Starts watching a lone document's file, or follows its new path; stops for a document
    // that is no longer lone or has no file.
    void watchDocument(HVFileDocument& document);
    // After the document's own save replaced its file: watches what is now at its path.
    void resetForDocument(HVFileDocument& document);
    void stopWatchingDocument(const HVFileDocument& document);
    bool isWatchingDocument(const HVFileDocument& document) const;

private:
    HVDocumentFileWatcher();
    class Watch;
    void deliver(const std::shared_ptr<Watch>& watch);
    // Made on the first watch, so that a program that never watches starts no thread.
    HVKQueue* queue();

    std::unique_ptr<HVKQueue> m_queue;
    // Main thread only.
    std::map<const HVFileDocument*, std::shared_ptr<Watch>> m_watches;
};
