#include "HVFileEnumerator.h"

#include "HVFile.h"

HVFileEnumerator::HVFileEnumerator(std::shared_ptr<HVFile> start) {
    if (start)
        m_queue.push_back(std::move(start));
}

std::shared_ptr<HVFile> HVFileEnumerator::nextObject() {
    if (m_queue.empty())
        return nullptr;
    std::shared_ptr<HVFile> node = std::move(m_queue.front());
    m_queue.pop_front();
    if (node->fileType() == HVFile::Directory)
        for (const auto& child : node->children(true))
            m_queue.push_back(child);
    return node;
}
