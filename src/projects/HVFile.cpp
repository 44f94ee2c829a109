#include "HVFile.h"

#include "HVFileNodeDocument.h"
#include "HVFileSystem.h"
#include "HVUUID.h"

HVFile::HVFile(std::string path, std::shared_ptr<HVFile> parent)
    : m_path(std::move(path)), m_parent(parent) {}

HVFile::~HVFile() = default;

std::shared_ptr<HVFile> HVFile::initWithPath(std::string path, std::shared_ptr<HVFile> parent) {
    return std::shared_ptr<HVFile>(new HVFile(std::move(path), std::move(parent)));
}

std::string HVFile::name() const {
    return HVFileSystem::lastPathComponent(m_path);
}

HVFile::FileType HVFile::fileType() const {
    return HVFileSystem::isDirectory(m_path) ? Directory : RegularFile;
}

const std::string& HVFile::uuid() const {
    if (m_uuid.empty())
        m_uuid = HVMakeUUID();
    return m_uuid;
}

std::string HVFile::pathFromRoot() const {
    return pathFromRootForPath(m_path);
}

std::string HVFile::pathFromRootForPath(const std::string& path) const {
    const HVFile* root = this;
    for (auto parent = m_parent.lock(); parent; parent = parent->m_parent.lock())
        root = parent.get();
    const std::string& rootPath = root->m_path;
    if (path == rootPath)
        return {};
    if (path.size() > rootPath.size() && path.compare(0, rootPath.size(), rootPath) == 0 &&
        path[rootPath.size()] == '/')
        return path.substr(rootPath.size() + 1);
    return path;
}

bool HVFile::containsPath(const std::string& path) const {
    return fileType() == Directory && path.size() > m_path.size() &&
           path.compare(0, m_path.size(), m_path) == 0 && path[m_path.size()] == '/';
}

bool HVFile::contentAvailable(bool) {
    return true;
}

void HVFile::contentsDidChange() {
    if (m_document)
        m_document->fileContentChangeFinished();
}

void HVFile::setPath(std::string path) {
    m_path = std::move(path);
    if (m_document)
        m_document->filePathDidChange();
}
