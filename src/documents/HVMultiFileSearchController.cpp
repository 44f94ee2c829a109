#include "HVMultiFileSearchController.h"

#include "Defaults.h"
#include "HTMLView.h"
#include "HVDocumentController.h"
#include "HVFileDocument.h"
#include "HVFileSystem.h"
#include "HVLocalization.h"
#include "HVMultiFileDocument.h"
#include "HVMultiFileSearchNode.h"
#include "HVPreferences.h"
#include "HVProject.h"
#include "HVProjectDocument.h"
#include "HVSearch.h"
#include "HVSearchController.h"
#include "HVSearchRunner.h"
#include "HVTextBuffer.h"
#include "HVUnicode.h"
#include "HVUserInterface.h"

#include <algorithm>

namespace {

constexpr std::string_view kReplaceAll = "Replace All";
constexpr std::string_view kSearchLocalCacheKey = "HVSearchLocalCacheForRemoteProjects";
constexpr std::string_view kDontPromptKey = "HVDontPromptToSearchLocalCache";

// Every open text document: the front window's first, then the other windows, newest first;
// tabs in their order.
std::vector<HVFileDocument*> openDocuments() {
    auto& controller = HVDocumentController::sharedController();
    std::vector<HVDocument*> windows;
    if (HVDocument* front = controller.currentDocument())
        windows.push_back(front);
    const auto& documents = controller.documents();
    for (auto it = documents.rbegin(); it != documents.rend(); ++it) {
        if (std::find(windows.begin(), windows.end(), it->get()) == windows.end())
            windows.push_back(it->get());
    }
    std::vector<HVFileDocument*> files;
    for (HVDocument* window : windows) {
        if (auto* multi = dynamic_cast<HVMultiFileDocument*>(window)) {
            for (HVFileDocument* file : multi->openDocuments())
                files.push_back(file);
        } else if (auto* file = dynamic_cast<HVFileDocument*>(window)) {
            files.push_back(file);
        }
    }
    return files;
}

// The name a node of the document has: its path, or an untitled document's name.
std::string nodePath(const HVFileDocument& document) {
    return document.fileName().empty() ? document.displayName() : document.fileName();
}

// The editor's full text, collapsed regions expanded; none for a picture, and none for a tab
// never shown, whose text is still its file's.
std::optional<std::u16string> fullText(HVFileDocument& document) {
    if (!document.highlightingView())
        return std::nullopt;
    const HVTextBuffer& text = document.highlightingView()->textStorage();
    return text.fullString({0, text.length()});
}

std::string replaceIntegers(std::string text, std::initializer_list<std::size_t> numbers) {
    for (std::size_t number : numbers) {
        auto at = text.find("%d");
        if (at == std::string::npos)
            break;
        text.replace(at, 2, std::to_string(number));
    }
    return text;
}

bool below(const std::string& path, const std::string& folder) {
    if (path == folder)
        return true;
    std::string prefix = folder.ends_with('/') ? folder : folder + "/";
    return path.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

// The runner's delegate: hands its news to the controller while it is attached; a replaced
// or finished run's late news is dropped.
class HVMultiFileSearchController::Listener : public HVSearchRunnerDelegate {
public:
    explicit Listener(HVMultiFileSearchController* controller) : m_controller(controller) {}
    void detach() { m_controller = nullptr; }

    void
    searchRunnerFoundNodes(std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes) override {
        if (m_controller)
            m_controller->nodesFound(std::move(nodes));
    }
    void searchRunnerProgress(std::size_t searched, std::size_t skipped) override {
        if (m_controller)
            m_controller->progress(searched, skipped);
    }
    void searchRunnerDidFinishAllSearches(bool) override {
        if (m_controller)
            m_controller->searchFinished();
    }
    void searchRunnerDidFinishAllReplaces(std::vector<HVError> failures) override {
        if (m_controller)
            m_controller->replacesFinished(std::move(failures));
    }

private:
    HVMultiFileSearchController* m_controller;
};

HVMultiFileSearchController::HVMultiFileSearchController() {
    auto& center = HVNotificationCenter::defaultCenter();
    m_saveObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVFileDidSaveNotification), nullptr,
                                   [this](const HVNotification& notification) {
                                       documentSaved(static_cast<HVFileDocument*>(
                                           const_cast<void*>(notification.object)));
                                   }));
    m_activeObserver = HVScopedObserver(
        center, center.addObserver(std::string(HVFileBecameActiveNotification), nullptr,
                                   [this](const HVNotification& notification) {
                                       documentBecameActive(static_cast<HVFileDocument*>(
                                           const_cast<void*>(notification.object)));
                                   }));
}

HVMultiFileSearchController::~HVMultiFileSearchController() {
    for (const auto& listener : {m_listener, m_replaceListener}) {
        if (listener)
            listener->detach();
    }
    if (m_runner)
        m_runner->cancel();
}

void HVMultiFileSearchController::chooseSpecificPaths(bool folder,
                                                      std::function<void(bool)> completion) {
    HVUserInterface::OpenPanelOptions options;
    options.title = folder ? "Search in Folder" : "Search in Files";
    options.chooseFiles = !folder;
    options.chooseDirectories = folder;
    std::weak_ptr<void> alive = m_lifetime;
    HVUserInterface::shared().runOpenPanel(
        options, this, [this, alive, completion](std::vector<std::string> paths) {
            if (alive.expired())
                return;
            bool chosen = !paths.empty();
            if (chosen) {
                m_specificPaths = std::move(paths);
                m_mode = Mode::SpecificFiles;
            }
            if (completion)
                completion(chosen);
        });
}

std::optional<HVSearchScope> HVMultiFileSearchController::scope() const {
    HVSearchScope scope;
    std::vector<HVFileDocument*> open = openDocuments();
    auto addDocument = [&](HVFileDocument* document) {
        auto text = fullText(*document);
        if (!text)
            return;
        // Two windows on one file: the front one's text, the one a replace changes.
        scope.openTexts.try_emplace(nodePath(*document), std::move(*text));
    };
    for (HVFileDocument* document : open)
        addDocument(document);
    auto& controller = HVDocumentController::sharedController();
    HVDocument* front = controller.currentDocument();
    switch (m_mode) {
    case Mode::CurrentFile: {
        HVFileDocument* current = nullptr;
        if (!m_currentFilePath.empty())
            current = documentForPath(m_currentFilePath);
        if (!current && front)
            current = front->activeDocument();
        if (!current || (!scope.openTexts.count(nodePath(*current)) && current->fileName().empty()))
            return std::nullopt;
        scope.paths.push_back(nodePath(*current));
        break;
    }
    case Mode::CurrentProject: {
        auto* project =
            front ? dynamic_cast<HVProjectDocument*>(front->projectDocument()) : nullptr;
        if (!project)
            return std::nullopt;
        scope.paths.push_back(project->project()->rootDirectory());
        break;
    }
    case Mode::OpenFiles:
        for (HVFileDocument* document : open) {
            std::string path = nodePath(*document);
            if ((scope.openTexts.count(path) || !document->fileName().empty()) &&
                std::find(scope.paths.begin(), scope.paths.end(), path) == scope.paths.end())
                scope.paths.push_back(path);
        }
        break;
    case Mode::SpecificFiles:
        scope.paths = m_specificPaths;
        break;
    }
    if (scope.paths.empty())
        return std::nullopt;
    // The encodings the user chose for files of open projects.
    for (const auto& document : controller.documents()) {
        auto* project = dynamic_cast<HVProjectDocument*>(document->projectDocument());
        if (!project)
            continue;
        const std::string& root = project->project()->rootDirectory();
        for (const auto& [file, settings] : project->project()->allFileConfigurations()) {
            const HVPlistValue* encoding = settings.objectForKey(HVFileEncodingKey);
            auto number = encoding ? encoding->integerValue() : std::nullopt;
            if (number && *number > 0)
                scope.encodings[root + "/" + file] = std::uint32_t(*number);
        }
    }
    return scope;
}

bool HVMultiFileSearchController::find() {
    if (m_asking || m_replacing)
        return false;
    m_currentFilePath.clear();
    if (m_mode == Mode::CurrentProject) {
        HVDocument* front = HVDocumentController::sharedController().currentDocument();
        auto* project =
            front ? dynamic_cast<HVProjectDocument*>(front->projectDocument()) : nullptr;
        if (project && project->project()->hasRemoteEquivalent()) {
            if (!Defaults::promptToSearchLocalCache())
                return Defaults::searchLocalCacheForRemoteProjects() && startSearchOfScope();
            // Only the copies on this computer can be searched: the person says whether that
            // is what they want.
            HVError question(
                HVErrorDomain, HVSearchLocalCopyQuestionCode,
                HVLocalization::format(
                    HVLocalization::localizedString("Search the local copy of \u201C%@\u201D?"),
                    {project->project()->displayName()}),
                HVLocalization::localizedString(
                    "Files on the server are not searched, only their copies on this computer."),
                {"Search", "Cancel", "Always Search Local Copy"});
            m_asking = true;
            std::weak_ptr<void> alive = m_lifetime;
            HVUserInterface::shared().presentError(
                question, this, [this, alive](std::size_t answer) {
                    if (alive.expired())
                        return;
                    m_asking = false;
                    auto& preferences = HVPreferences::sharedInstance();
                    bool yes = answer == 0 || answer == 2;
                    preferences.setObject(kSearchLocalCacheKey, yes);
                    if (answer == 2)
                        preferences.setObject(kDontPromptKey, true);
                    if (yes)
                        startSearchOfScope();
                });
            return false;
        }
    }
    return startSearchOfScope();
}

bool HVMultiFileSearchController::startSearchOfScope() {
    auto& fields = HVSearchController::sharedFind();
    auto search = fields.search();
    if (!search)
        return false;
    auto scope = this->scope();
    if (!scope)
        return false;
    fields.rememberSearch();
    clear();
    startSearch(*search, std::move(*scope), std::nullopt);
    m_search = std::move(search);
    return true;
}

void HVMultiFileSearchController::startSearch(const HVSearch& search, HVSearchScope scope,
                                              std::optional<std::string> only) {
    if (m_listener)
        m_listener->detach();
    m_listener = std::make_shared<Listener>(this);
    m_runner = std::make_unique<HVSearchRunner>(m_listener);
    m_run = Run{std::move(only)};
    m_onlyPathAnswered = false;
    m_runner->runSearch(search, std::move(scope));
    statusChanged();
}

void HVMultiFileSearchController::stop() {
    if (m_runner)
        m_runner->cancel();
}

bool HVMultiFileSearchController::searching() const {
    // Until the runner's last word has arrived, not merely until its threads are done.
    return m_listener != nullptr;
}

void HVMultiFileSearchController::clear() {
    m_nodes.clear();
    m_checked.clear();
    m_searched = 0;
    m_skipped = 0;
    if (onReset)
        onReset();
}

std::size_t HVMultiFileSearchController::totalMatches() const {
    std::size_t total = 0;
    for (const auto& node : m_nodes)
        total += node->results().size();
    return total;
}

std::string HVMultiFileSearchController::progressText() const {
    return std::to_string(m_searched) + (m_searched == 1 ? " file" : " files") + " searched, " +
           std::to_string(m_skipped) + " skipped, " + std::to_string(totalMatches()) +
           (totalMatches() == 1 ? " match" : " matches");
}

std::optional<std::size_t> HVMultiFileSearchController::indexOfPath(const std::string& path) const {
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        if (m_nodes[i]->path() == path)
            return i;
    }
    return std::nullopt;
}

void HVMultiFileSearchController::nodesFound(
    std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes) {
    if (m_run.onlyPath) {
        for (auto& node : nodes) {
            if (node->path() != *m_run.onlyPath)
                continue;
            m_onlyPathAnswered = true;
            std::vector<bool> checked(node->results().size(), true);
            if (auto index = indexOfPath(node->path())) {
                m_nodes[*index] = std::move(node);
                m_checked[*index] = std::move(checked);
                if (onNodeChanged)
                    onNodeChanged(*index);
            } else {
                m_nodes.push_back(std::move(node));
                m_checked.push_back(std::move(checked));
                if (onNodesInserted)
                    onNodesInserted(m_nodes.size() - 1, 1);
            }
        }
        statusChanged();
        return;
    }
    std::size_t first = m_nodes.size();
    for (auto& node : nodes) {
        m_checked.emplace_back(node->results().size(), true);
        m_nodes.push_back(std::move(node));
    }
    if (onNodesInserted && !nodes.empty())
        onNodesInserted(first, m_nodes.size() - first);
    statusChanged();
}

void HVMultiFileSearchController::progress(std::size_t searched, std::size_t skipped) {
    // A file searched again keeps the counts of the whole search.
    if (m_run.onlyPath)
        return;
    m_searched = searched;
    m_skipped = skipped;
    statusChanged();
}

void HVMultiFileSearchController::searchFinished() {
    if (m_run.onlyPath && !m_onlyPathAnswered) {
        // Nothing found there any more.
        if (auto index = indexOfPath(*m_run.onlyPath)) {
            m_nodes.erase(m_nodes.begin() + std::ptrdiff_t(*index));
            m_checked.erase(m_checked.begin() + std::ptrdiff_t(*index));
            if (onNodeRemoved)
                onNodeRemoved(*index);
        }
    }
    m_run = Run{};
    if (m_listener)
        m_listener->detach();
    m_listener.reset();
    statusChanged();
}

bool HVMultiFileSearchController::isResultChecked(std::size_t node, std::size_t result) const {
    return node < m_checked.size() && result < m_checked[node].size() && m_checked[node][result];
}

void HVMultiFileSearchController::setResultChecked(std::size_t node, std::size_t result,
                                                   bool checked) {
    if (node < m_checked.size() && result < m_checked[node].size())
        m_checked[node][result] = checked;
}

HVMultiFileSearchController::CheckState
HVMultiFileSearchController::nodeCheckState(std::size_t node) const {
    if (node >= m_checked.size())
        return CheckState::Unchecked;
    auto count = std::size_t(std::count(m_checked[node].begin(), m_checked[node].end(), true));
    if (count == 0)
        return CheckState::Unchecked;
    return count == m_checked[node].size() ? CheckState::Checked : CheckState::PartiallyChecked;
}

void HVMultiFileSearchController::setNodeChecked(std::size_t node, bool checked) {
    if (node < m_checked.size())
        std::fill(m_checked[node].begin(), m_checked[node].end(), checked);
}

std::size_t HVMultiFileSearchController::checkedCount() const {
    std::size_t count = 0;
    for (const auto& checks : m_checked)
        count += std::size_t(std::count(checks.begin(), checks.end(), true));
    return count;
}

HVError HVMultiFileSearchController::replaceQuestion() const {
    const HVSearch* search = m_search.get();
    std::string searchString = search ? HVUnicode::utf8(search->searchString()) : std::string();
    std::string replaceString =
        search && search->replaceString() ? HVUnicode::utf8(*search->replaceString()) : "";
    std::string text = replaceIntegers(
        HVLocalization::localizedString(
            "Do you really want to replace %d occurrences (out of %d) of \"%@\" with \"%@\"?"),
        {checkedCount(), totalMatches()});
    return HVError(HVErrorDomain, HVReplaceQuestionCode,
                   HVLocalization::format(text, {searchString, replaceString}), {},
                   {"Replace", "Cancel"});
}

bool HVMultiFileSearchController::replace() {
    if (m_asking || m_replacing || !m_search || checkedCount() == 0)
        return false;
    // The replacement is the one in the fields now; the matches are those of the search.
    if (const auto& replacement = HVSearchController::sharedFind().replaceString();
        m_search->replaceString() != replacement)
        m_search->setReplaceString(replacement);
    m_asking = true;
    std::weak_ptr<void> alive = m_lifetime;
    HVUserInterface::shared().presentError(replaceQuestion(), this,
                                           [this, alive](std::size_t answer) {
                                               if (alive.expired())
                                                   return;
                                               m_asking = false;
                                               if (searching()) {
                                                   // The list is not whole yet.
                                                   stop();
                                                   return;
                                               }
                                               if (answer == 0)
                                                   reallyReplace();
                                           });
    return true;
}

void HVMultiFileSearchController::reallyReplace() {
    std::vector<HVReplaceJob> jobs;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        const auto& node = m_nodes[i];
        std::vector<HVRange> ranges;
        for (std::size_t r = 0; r < node->results().size(); ++r) {
            if (m_checked[i][r])
                ranges.push_back(node->results()[r].range());
        }
        if (ranges.empty())
            continue;
        HVFileDocument* document = documentForPath(node->path());
        HTMLView* view = document ? document->highlightingView() : nullptr;
        if (!view) {
            jobs.push_back({node, std::move(ranges)});
            continue;
        }
        // An open document: its text now, the ranges that still match, one undoable change.
        auto text = fullText(*document);
        std::vector<HVRange> still;
        std::vector<std::u16string> replacements;
        for (HVRange range : ranges) {
            if (range.location > text->size() || range.length > text->size() - range.location)
                break;
            std::u16string_view piece =
                std::u16string_view(*text).substr(range.location, range.length);
            if (!m_search->matchesString(piece))
                continue;
            still.push_back(range);
            replacements.push_back(m_search->replacementForString(piece));
        }
        if (!still.empty())
            view->replaceFullRanges(still, replacements, kReplaceAll);
    }
    clear();
    if (jobs.empty()) {
        statusChanged();
        return;
    }
    if (m_replaceListener)
        m_replaceListener->detach();
    m_replaceListener = std::make_shared<Listener>(this);
    m_replaceRunner = std::make_unique<HVSearchRunner>(m_replaceListener);
    m_replacing = true;
    m_replaceRunner->runReplaces(*m_search, std::move(jobs));
    statusChanged();
}

void HVMultiFileSearchController::replacesFinished(std::vector<HVError> failures) {
    m_replacing = false;
    statusChanged();
    if (failures.empty())
        return;
    std::string list;
    for (const HVError& failure : failures) {
        const HVPlistValue* path = failure.userInfoValue(HVFilePathErrorKey);
        if (!list.empty())
            list += "\n";
        if (path && path->string())
            list += HVFileSystem::lastPathComponent(*path->string()) + ": ";
        list += failure.description();
    }
    HVError alert(HVErrorDomain, 17,
                  HVLocalization::localizedString(failures.size() == 1
                                                      ? "A file could not be changed."
                                                      : "Some files could not be changed."),
                  list);
    HVUserInterface::shared().presentError(alert, this, nullptr);
}

HVFileDocument* HVMultiFileSearchController::documentForPath(const std::string& path) const {
    // The front-most with an editor, as the scope took its text; else the front-most.
    HVFileDocument* found = nullptr;
    for (HVFileDocument* document : openDocuments()) {
        bool same = document->fileName().empty()
                        ? document->displayName() == path
                        : (document->fileName() == path ||
                           HVFileSystem::isSameFile(document->fileName(), path));
        if (!same)
            continue;
        if (document->highlightingView())
            return document;
        if (!found)
            found = document;
    }
    return found;
}

HVFileDocument* HVMultiFileSearchController::openResult(std::size_t nodeIndex, std::size_t result) {
    if (nodeIndex >= m_nodes.size() || result >= m_nodes[nodeIndex]->results().size())
        return nullptr;
    const auto& node = m_nodes[nodeIndex];
    auto& controller = HVDocumentController::sharedController();
    HVFileDocument* document = documentForPath(node->path());
    if (document) {
        if (controller.presenter())
            controller.presenter()->bringToFront(document);
    } else if (!node->path().empty() && node->path().front() == '/') {
        HVError error;
        HVDocument* opened = controller.openDocumentWithContentsOfFile(node->path(), true, &error);
        if (!opened) {
            HVUserInterface::shared().presentError(error, this, nullptr);
            return nullptr;
        }
        document = opened->activeDocument();
    }
    if (!document)
        return nullptr;
    if (HTMLView* view = document->highlightingView())
        view->showRange(node->results()[result].range());
    return document;
}

bool HVMultiFileSearchController::inScope(const std::string& path) const {
    if (indexOfPath(path))
        return true;
    switch (m_mode) {
    case Mode::CurrentFile:
        return false;
    case Mode::CurrentProject: {
        HVDocument* front = HVDocumentController::sharedController().currentDocument();
        auto* project =
            front ? dynamic_cast<HVProjectDocument*>(front->projectDocument()) : nullptr;
        return project && below(path, project->project()->rootDirectory());
    }
    case Mode::OpenFiles:
        return true;
    case Mode::SpecificFiles:
        return std::any_of(m_specificPaths.begin(), m_specificPaths.end(),
                           [&](const std::string& chosen) { return below(path, chosen); });
    }
    return false;
}

void HVMultiFileSearchController::documentSaved(HVFileDocument* document) {
    if (!m_visible || !document || !m_search || searching() || m_replacing)
        return;
    std::string path = nodePath(*document);
    if (!inScope(path))
        return;
    auto text = fullText(*document);
    if (!text)
        return;
    HVSearchScope scope;
    scope.paths.push_back(path);
    scope.openTexts[path] = std::move(*text);
    startSearch(*m_search, std::move(scope), path);
}

void HVMultiFileSearchController::documentBecameActive(HVFileDocument* document) {
    if (!m_visible || !document || m_mode != Mode::CurrentFile || !m_search || m_asking ||
        m_replacing)
        return;
    std::string path = nodePath(*document);
    if (m_nodes.size() == 1 && m_nodes.front()->path() == path)
        return;
    m_currentFilePath = path;
    auto scope = this->scope();
    if (!scope)
        return;
    clear();
    startSearch(*m_search, std::move(*scope), std::nullopt);
}

void HVMultiFileSearchController::statusChanged() {
    if (onStatusChanged)
        onStatusChanged();
}
