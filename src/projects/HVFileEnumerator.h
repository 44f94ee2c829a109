#pragma once

#include <deque>
#include <memory>

class HVFile;

// Walks a tree breadth-first, loading directories as it goes: the start node, its children,
// then theirs, level by level.
class HVFileEnumerator {
public:
    explicit HVFileEnumerator(std::shared_ptr<HVFile> start);
    // None when every node has been answered.
    std::shared_ptr<HVFile> nextObject();

private:
    std::deque<std::shared_ptr<HVFile>> m_queue;
};
