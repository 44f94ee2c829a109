#include "HVSearchRunner.h"

#include "HVDispatcher.h"
#include "HVFileCategories.h"
#include "HVFileEncodings.h"
#include "HVFileFilters.h"
#include "HVFileSystem.h"
#include "HVSearch.h"
#include "HVTextBuffer.h"
#include "HVUTF8Matcher.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// How much of a file of no known category is looked at for a NUL byte.
constexpr std::size_t binaryProbeLength = 8192;
// How often a running search hands its nodes to the main thread.
constexpr auto batchInterval = std::chrono::milliseconds(20);

enum class EntryKind { File, CheckedFile, OpenText, Failed };

struct Entry {
    std::string path;
    EntryKind kind;
    std::optional<HVError> error;
    // Filled in by the worker that searched it.
    std::shared_ptr<HVMultiFileSearchNode> node;
    bool searched = false;
    bool done = false;
};

// The files of a search as the walk finds them. Workers take them in order while the walk goes
// on, and the caller hands their outcomes on in the same order. A deque keeps its elements in
// place as it grows.
struct EntryQueue {
    std::mutex mutex;
    // Signalled when the walk adds entries or ends.
    std::condition_variable added;
    // Signalled when the entry the caller waits for is done.
    std::condition_variable finished;
    std::deque<Entry> entries;
    bool complete = false;
    std::atomic<std::size_t> skippedByWalk{0};
};

struct Progress {
    std::size_t searched = 0;
    std::size_t skipped = 0;
};

// The scope's paths as a list of files in search order; names the filters hide, links to
// folders and files of a category that is not text are only counted.
class ScopeWalk {
public:
    ScopeWalk(const HVSearchScope& scope, const std::atomic<bool>* cancelled, EntryQueue& queue)
        : m_scope(scope), m_cancelled(cancelled), m_queue(queue),
          m_filters(HVFileFilters::sharedFilters()),
          m_categories(HVFileCategories::sharedCategories()) {}

    void run() {
        for (const std::string& path : m_scope.paths) {
            if (isCancelled())
                return;
            addTopLevel(path);
        }
    }

private:
    void add(std::string path, EntryKind kind, std::optional<HVError> error = std::nullopt) {
        {
            std::lock_guard lock(m_queue.mutex);
            m_queue.entries.push_back(
                Entry{std::move(path), kind, std::move(error), nullptr, false, false});
        }
        m_queue.added.notify_all();
    }

    void skip() { m_queue.skippedByWalk.fetch_add(1, std::memory_order_relaxed); }

    bool isCancelled() const { return m_cancelled && m_cancelled->load(std::memory_order_relaxed); }

    void addTopLevel(const std::string& path) {
        if (m_scope.openTexts.count(path)) {
            add(path, EntryKind::OpenText);
            return;
        }
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) {
            add(path, EntryKind::Failed, HVError::posix(errno, path, "Cannot open"));
            return;
        }
        if (S_ISDIR(st.st_mode))
            walkFolder(path);
        else if (S_ISREG(st.st_mode))
            addFile(path);
        else
            skip();
    }

    void walkFolder(const std::string& folder) {
        DIR* directory = ::opendir(folder.c_str());
        if (!directory) {
            add(folder, EntryKind::Failed, HVError::posix(errno, folder, "Cannot read the folder"));
            return;
        }
        std::vector<std::pair<std::string, unsigned char>> children;
        while (dirent* entry = ::readdir(directory)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            children.emplace_back(std::string(name), entry->d_type);
        }
        ::closedir(directory);
        // std::string compares as unsigned bytes.
        std::sort(children.begin(), children.end());
        std::string prefix = folder;
        if (prefix.empty() || prefix.back() != '/')
            prefix += '/';
        for (auto& [name, type] : children) {
            if (isCancelled())
                return;
            if (m_filters.stringMatchesFilters(name)) {
                skip();
                continue;
            }
            std::string path = prefix + name;
            if (type == DT_UNKNOWN) {
                struct stat st;
                if (::lstat(path.c_str(), &st) != 0) {
                    skip();
                    continue;
                }
                type = S_ISDIR(st.st_mode)   ? DT_DIR
                       : S_ISREG(st.st_mode) ? DT_REG
                       : S_ISLNK(st.st_mode) ? DT_LNK
                                             : DT_FIFO;
            }
            if (type == DT_DIR) {
                walkFolder(path);
            } else if (type == DT_REG) {
                addFile(std::move(path));
            } else if (type == DT_LNK) {
                struct stat st;
                // A link to a folder could lead round in a circle; a dangling link holds nothing.
                if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                    addFile(std::move(path));
                else
                    skip();
            } else {
                skip();
            }
        }
    }

    void addFile(std::string path) {
        if (m_scope.openTexts.count(path)) {
            add(std::move(path), EntryKind::OpenText);
            return;
        }
        switch (verdictForExtension(HVFileSystem::pathExtension(path))) {
        case Verdict::Text:
            add(std::move(path), EntryKind::File);
            break;
        case Verdict::NotText:
            skip();
            break;
        case Verdict::Unknown:
            add(std::move(path), EntryKind::CheckedFile);
            break;
        }
    }

    enum class Verdict { Text, NotText, Unknown };

    Verdict verdictForExtension(const std::string& extension) {
        if (extension.empty())
            return Verdict::Unknown;
        auto found = m_verdicts.find(extension);
        if (found != m_verdicts.end())
            return found->second;
        Verdict verdict = Verdict::Unknown;
        if (m_categories.extensionIsType(extension, HVFileKindText))
            verdict = Verdict::Text;
        else if (m_categories.extensionIsType(extension, HVFileKindImage) ||
                 m_categories.extensionIsType(extension, HVFileKindIgnorable))
            verdict = Verdict::NotText;
        m_verdicts.emplace(extension, verdict);
        return verdict;
    }

    const HVSearchScope& m_scope;
    const std::atomic<bool>* m_cancelled;
    EntryQueue& m_queue;
    HVFileFilters& m_filters;
    HVFileCategories& m_categories;
    std::map<std::string, Verdict, std::less<>> m_verdicts;
};

bool isValidUTF8(std::string_view data) {
    auto bytes = reinterpret_cast<const unsigned char*>(data.data());
    std::size_t size = data.size();
    std::size_t i = 0;
    while (i < size) {
        // ASCII 32 bytes at a time, then eight.
        if (i + 32 <= size) {
            std::uint64_t words[4];
            std::memcpy(words, bytes + i, 32);
            if (((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ULL) == 0) {
                i += 32;
                continue;
            }
        }
        if (i + 8 <= size) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                continue;
            }
        }
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F; // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (i + length > size)
            return false;
        if (bytes[i + 1] < low || bytes[i + 1] > high)
            return false;
        for (std::size_t k = 2; k < length; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

bool isASCII(std::string_view data) {
    for (char c : data) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// Well-formed UTF-8 to UTF-16, appended to the text.
void appendUTF8(std::string_view data, std::u16string& text) {
    std::size_t out = text.size();
    text.resize(out + data.size());
    auto bytes = reinterpret_cast<const unsigned char*>(data.data());
    for (std::size_t i = 0; i < data.size();) {
        // Runs of ASCII widen eight at a time.
        while (i + 8 <= data.size()) {
            std::uint64_t word;
            std::memcpy(&word, bytes + i, 8);
            if (word & 0x8080808080808080ULL)
                break;
            for (int k = 0; k < 8; ++k)
                text[out + std::size_t(k)] = char16_t(bytes[i + std::size_t(k)]);
            i += 8;
            out += 8;
        }
        if (i >= data.size())
            break;
        unsigned char lead = bytes[i];
        char32_t c;
        if (lead < 0x80) {
            c = lead;
            i += 1;
        } else if (lead < 0xE0) {
            c = ((lead & 0x1F) << 6) | (bytes[i + 1] & 0x3F);
            i += 2;
        } else if (lead < 0xF0) {
            c = ((lead & 0x0F) << 12) | ((bytes[i + 1] & 0x3F) << 6) | (bytes[i + 2] & 0x3F);
            i += 3;
        } else {
            c = ((lead & 0x07) << 18) | ((bytes[i + 1] & 0x3F) << 12) |
                ((bytes[i + 2] & 0x3F) << 6) | (bytes[i + 3] & 0x3F);
            i += 4;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            text[out++] = char16_t(0xD800 + (c >> 10));
            text[out++] = char16_t(0xDC00 + (c & 0x3FF));
        } else {
            text[out++] = char16_t(c);
        }
    }
    text.resize(out);
}

// The context line of a match in well-formed UTF-8 (byte range; unitLength code units long),
// the same as the text's context line: the match with up to 40 code units either side. Only
// bytes around the match are decoded: first a few more bytes than the context needs on either
// side, enough for ASCII; when the piece holds too few code units for its cut ends to lie
// beyond the context, four bytes for each, which always do.
HVSearchContextLine contextLineFromUTF8(std::string_view data, HVRange range,
                                        std::size_t unitLength) {
    // The context reads one code unit beyond its 40 on either side (a surrogate pair's half).
    constexpr std::size_t needed = HVSearchResult::contextLength + 2;
    auto isContinuation = [&](std::size_t at) {
        return (static_cast<unsigned char>(data[at]) & 0xC0) == 0x80;
    };
    thread_local std::u16string piece;
    for (std::size_t margin : {needed, 4 * needed}) {
        std::size_t begin = range.location > margin ? range.location - margin : 0;
        while (begin > 0 && isContinuation(begin))
            --begin;
        std::size_t end = std::min(data.size(), range.end() + margin);
        while (end < data.size() && isContinuation(end))
            ++end;
        piece.clear();
        appendUTF8(data.substr(begin, range.location - begin), piece);
        std::size_t before = piece.size();
        appendUTF8(data.substr(range.location, end - range.location), piece);
        std::size_t after = piece.size() - before - unitLength;
        if ((begin == 0 || before >= needed) && (end == data.size() || after >= needed))
            return HVSearchResult::createAttributedStringFromString(piece,
                                                                    HVRange{before, unitLength});
    }
    // Unreachable: four bytes for each code unit are always enough.
    return HVSearchContextLine{};
}

// Byte offsets to UTF-16 offsets, for ascending byte offsets of well-formed UTF-8.
class OffsetMapper {
public:
    explicit OffsetMapper(std::string_view data) : m_data(data) {}
    std::size_t unitsAt(std::size_t byte) {
        // Eight bytes at a time: each byte but a continuation byte (10xxxxxx) begins a
        // character, and one of four bytes (11110xxx) makes two code units.
        constexpr std::uint64_t high = 0x8080808080808080ULL;
        for (; m_byte + 8 <= byte; m_byte += 8) {
            std::uint64_t word;
            std::memcpy(&word, m_data.data() + m_byte, 8);
            if (!(word & high)) {
                m_units += 8;
                continue;
            }
            std::uint64_t continuation = word & ~(word << 1) & high;
            std::uint64_t fourByteLead = word & (word << 1) & (word << 2) & (word << 3) & high;
            m_units += 8 - std::size_t(std::popcount(continuation)) +
                       std::size_t(std::popcount(fourByteLead));
        }
        for (; m_byte < byte; ++m_byte) {
            auto b = static_cast<unsigned char>(m_data[m_byte]);
            if ((b & 0xC0) != 0x80)
                m_units += b >= 0xF0 ? 2 : 1;
        }
        return m_units;
    }

private:
    std::string_view m_data;
    std::size_t m_byte = 0;
    std::size_t m_units = 0;
};

// The encoding a file's name gives, as HVFileEncodings::encodingFromFileName finds it (the
// first part between dots that names one), with each part's answer remembered: the same few
// parts ("min", "js") come back in thousands of names.
class NameEncodings {
public:
    HVStringEncoding encodingFromFileName(std::string_view path) {
        std::size_t slash = path.rfind('/');
        std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
        std::size_t start = 0;
        for (;;) {
            std::size_t dot = name.find('.', start);
            std::string_view part = name.substr(
                start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
            auto found = m_parts.find(part);
            if (found == m_parts.end())
                found =
                    m_parts.emplace(std::string(part), HVFileEncodings::encodingFromString(part))
                        .first;
            if (found->second)
                return found->second;
            if (dot == std::string_view::npos)
                return HVNoStringEncoding;
            start = dot + 1;
        }
    }

private:
    std::map<std::string, HVStringEncoding, std::less<>> m_parts;
};

// Whether the part of the data that the declaration scan reads (at most its first 30 lines)
// holds "<?xml" or "<meta" in any case: without either it cannot declare an encoding, and the
// scan, which converts and matches every line, is spared.
bool mayDeclareEncoding(std::string_view data) {
    std::size_t end = 0;
    for (int lines = 0; lines < 30 && end < data.size(); ++lines) {
        const void* lineFeed = std::memchr(data.data() + end, '\n', data.size() - end);
        if (!lineFeed) {
            end = data.size();
            break;
        }
        end = std::size_t(static_cast<const char*>(lineFeed) - data.data()) + 1;
    }
    std::string_view head = data.substr(0, end);
    for (std::size_t at = head.find('<'); at != std::string_view::npos;
         at = head.find('<', at + 1)) {
        std::string_view rest = head.substr(at + 1, 4);
        if (rest.size() < 4)
            break;
        char lower[4];
        for (int i = 0; i < 4; ++i)
            lower[i] = char(std::tolower(static_cast<unsigned char>(rest[std::size_t(i)])));
        std::string_view word(lower, 4);
        if (word == "?xml" || word == "meta")
            return true;
    }
    return false;
}

// The encoding a file opens in, from bytes already read: the name, a declaration, a UTF-16
// byte-order mark, then the default.
HVStringEncoding detectEncoding(const std::string& path, std::string_view data,
                                HVStringEncoding defaultEncoding, NameEncodings& names) {
    if (HVStringEncoding encoding = names.encodingFromFileName(path))
        return encoding;
    if (mayDeclareEncoding(data)) {
        if (HVStringEncoding encoding = HVFileEncodings::encodingFromFileContents({}, data))
            return encoding;
    }
    if (data.size() >= 2 &&
        ((data[0] == '\xFF' && data[1] == '\xFE') || (data[0] == '\xFE' && data[1] == '\xFF')))
        return HVUnicodeStringEncoding;
    return defaultEncoding;
}

// One search thread's own search, matcher and read buffer.
struct Worker {
    std::unique_ptr<HVSearch> search;
    std::unique_ptr<HVUTF8Matcher> matcher;
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::vector<HVRange> ranges;
    NameEncodings names;
};

std::shared_ptr<HVMultiFileSearchNode> skippedNode(const std::string& path, HVError error) {
    auto node = std::make_shared<HVMultiFileSearchNode>(path);
    node->setSkipped(std::move(error));
    return node;
}

// Reads the whole file into the worker's buffer; none with the reason it could not be read.
std::optional<std::string_view> readInto(Worker& worker, const std::string& path, HVError& error,
                                         bool& notRegular) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = HVError::posix(errno, path, "Cannot open");
        return std::nullopt;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        notRegular = true;
        return std::nullopt;
    }
    if (std::uint64_t(st.st_size) > HVTextBuffer::maximumLength) {
        ::close(fd);
        error = HVError::posix(EFBIG, path, "Cannot open");
        return std::nullopt;
    }
    std::size_t wanted = std::size_t(st.st_size) + 1;
    std::size_t length = 0;
    for (;;) {
        if (worker.capacity < wanted) {
            std::size_t capacity = std::max(wanted, worker.capacity * 2);
            auto grown = std::make_unique_for_overwrite<char[]>(capacity);
            if (length > 0)
                std::memcpy(grown.get(), worker.buffer.get(), length);
            worker.buffer = std::move(grown);
            worker.capacity = capacity;
        }
        ssize_t n = ::read(fd, worker.buffer.get() + length, worker.capacity - length);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = HVError::posix(errno, path, "Cannot read");
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        length += std::size_t(n);
        // The file grew while it was read.
        if (length == worker.capacity)
            wanted = worker.capacity + 1;
    }
    ::close(fd);
    return std::string_view(worker.buffer.get(), length);
}

std::shared_ptr<HVMultiFileSearchNode> nodeForText(Worker& worker, const std::string& path,
                                                   std::u16string text) {
    auto results = worker.search->findAllForStringAsResults(text);
    if (results.empty())
        return nullptr;
    auto node = std::make_shared<HVMultiFileSearchNode>(path);
    node->setResults(std::move(results));
    node->setText(std::move(text));
    return node;
}

std::shared_ptr<HVMultiFileSearchNode> nodeForDecodedData(Worker& worker, const std::string& path,
                                                          std::string_view data,
                                                          HVStringEncoding encoding) {
    HVError warning;
    auto text = HVFileEncodings::createWithData(data, path, encoding, &warning);
    if (!text)
        return skippedNode(path, std::move(warning));
    // Bytes that did not fit the encoding were read as Latin-1, and are written back so.
    if (warning.is(HVErrorDomain, HVEncodingWarningCode))
        encoding = HVSystemDefault8BitEncoding;
    auto node = nodeForText(worker, path, std::move(*text));
    if (node)
        node->setEncoding(encoding);
    return node;
}

// Searches one entry; sets searched unless the file turned out not to be text.
std::shared_ptr<HVMultiFileSearchNode> searchEntry(Worker& worker, const Entry& entry,
                                                   const HVSearchScope& scope,
                                                   HVStringEncoding defaultEncoding,
                                                   bool& searched) {
    searched = false;
    if (entry.kind == EntryKind::Failed)
        return skippedNode(entry.path, *entry.error);
    if (entry.kind == EntryKind::OpenText) {
        searched = true;
        auto node = nodeForText(worker, entry.path, scope.openTexts.at(entry.path));
        if (node)
            node->setFromDocument(true);
        return node;
    }
    HVError error;
    bool notRegular = false;
    auto data = readInto(worker, entry.path, error, notRegular);
    if (!data)
        return notRegular ? nullptr : skippedNode(entry.path, std::move(error));
    bool utf16Mark = data->size() >= 2 && (((*data)[0] == '\xFF' && (*data)[1] == '\xFE') ||
                                           ((*data)[0] == '\xFE' && (*data)[1] == '\xFF'));
    if (entry.kind == EntryKind::CheckedFile && !utf16Mark &&
        std::memchr(data->data(), 0, std::min(data->size(), binaryProbeLength)))
        return nullptr;
    searched = true;
    HVStringEncoding encoding = HVNoStringEncoding;
    if (auto chosen = scope.encodings.find(entry.path); chosen != scope.encodings.end())
        encoding = chosen->second;
    if (encoding == HVNoStringEncoding)
        encoding = detectEncoding(entry.path, *data, defaultEncoding, worker.names);

    bool utf8Mark = data->size() >= 3 && std::memcmp(data->data(), "\xEF\xBB\xBF", 3) == 0;
    auto fitsEncoding = [&] {
        return encoding == HVUTF8StringEncoding ? isValidUTF8(*data) : isASCII(*data);
    };
    if (worker.matcher && !utf8Mark &&
        (encoding == HVUTF8StringEncoding || encoding == HVASCIIStringEncoding) &&
        (worker.matcher->needsNoWellFormedText() || fitsEncoding())) {
        // Most files hold no match: they are never decoded.
        worker.matcher->findAll(*data, worker.ranges);
        if (worker.ranges.empty())
            return nullptr;
        if (worker.matcher->needsNoWellFormedText() && !fitsEncoding())
            return nodeForDecodedData(worker, entry.path, *data, encoding);
        OffsetMapper mapper(*data);
        std::vector<HVSearchResult> results;
        results.reserve(worker.ranges.size());
        for (HVRange range : worker.ranges) {
            std::size_t start = mapper.unitsAt(range.location);
            std::size_t end = mapper.unitsAt(range.end());
            results.emplace_back(HVRange{start, end - start},
                                 contextLineFromUTF8(*data, range, end - start));
        }
        auto node = std::make_shared<HVMultiFileSearchNode>(entry.path);
        node->setResults(std::move(results));
        // The buffer goes to the node, saving a copy, unless it is much larger than the file.
        std::size_t length = data->size();
        if (worker.capacity > 2 * length + 65536) {
            auto bytes = std::make_unique_for_overwrite<char[]>(length);
            std::memcpy(bytes.get(), data->data(), length);
            node->setUTF8Text(std::move(bytes), length);
        } else {
            node->setUTF8Text(std::move(worker.buffer), length);
            worker.capacity = 0;
        }
        node->setEncoding(encoding);
        return node;
    }
    return nodeForDecodedData(worker, entry.path, *data, encoding);
}

using FileHandler =
    std::function<void(std::shared_ptr<HVMultiFileSearchNode> node, const Progress& progress)>;

// Searches the scope on worker threads while it is walked, and hands every entry's outcome to
// the handler on the calling thread, in the scope's order.
bool searchScope(const HVSearch& search, const HVSearchScope& scope, unsigned threads,
                 const std::atomic<bool>* cancelled, const FileHandler& handler) {
    auto isCancelled = [cancelled] {
        return cancelled && cancelled->load(std::memory_order_relaxed);
    };
    if (threads == 0)
        threads = std::max(1u, std::thread::hardware_concurrency());
    HVStringEncoding defaultEncoding = HVFileEncodings::defaultEncoding();
    std::vector<Worker> workers(threads);
    for (Worker& worker : workers) {
        worker.search = search.copy();
        // A file is searched whole, so its first line is a line start for "^".
        worker.search->setOptions(0);
        worker.matcher = HVUTF8Matcher::create(*worker.search);
    }

    EntryQueue queue;
    std::thread walker([&] {
        ScopeWalk(scope, cancelled, queue).run();
        {
            std::lock_guard lock(queue.mutex);
            queue.complete = true;
        }
        queue.added.notify_all();
        queue.finished.notify_all();
    });
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> awaited{0};
    std::vector<std::thread> pool;
    for (Worker& worker : workers) {
        pool.emplace_back([&, workerPointer = &worker] {
            for (;;) {
                if (isCancelled())
                    break;
                std::size_t index = next.fetch_add(1);
                Entry* entry = nullptr;
                {
                    std::unique_lock lock(queue.mutex);
                    queue.added.wait(lock, [&] {
                        return index < queue.entries.size() || queue.complete || isCancelled();
                    });
                    if (index >= queue.entries.size())
                        break;
                    entry = &queue.entries[index];
                }
                bool searched = false;
                auto node = searchEntry(*workerPointer, *entry, scope, defaultEncoding, searched);
                {
                    std::lock_guard lock(queue.mutex);
                    entry->node = std::move(node);
                    entry->searched = searched;
                    entry->done = true;
                }
                // Waking the caller for an entry it is not waiting for costs a system call.
                if (index == awaited.load())
                    queue.finished.notify_all();
            }
            // Wake the caller in case it waits for an entry nobody will search.
            queue.finished.notify_all();
        });
    }
    Progress progress;
    bool finished = true;
    bool handled = false;
    for (std::size_t index = 0;; ++index) {
        std::shared_ptr<HVMultiFileSearchNode> node;
        bool searched = false;
        {
            std::unique_lock lock(queue.mutex);
            awaited.store(index);
            queue.finished.wait(lock, [&] {
                return (index < queue.entries.size() && queue.entries[index].done) ||
                       (queue.complete && index >= queue.entries.size()) || isCancelled();
            });
            if (index >= queue.entries.size() || !queue.entries[index].done) {
                finished = !isCancelled();
                break;
            }
            node = std::move(queue.entries[index].node);
            searched = queue.entries[index].searched;
        }
        // Not text, or unreadable with a reason.
        if (searched)
            ++progress.searched;
        else
            ++progress.skipped;
        progress.skipped += queue.skippedByWalk.exchange(0, std::memory_order_relaxed);
        handler(std::move(node), progress);
        handled = true;
    }
    walker.join();
    for (std::thread& thread : pool)
        thread.join();
    if (isCancelled())
        finished = false;
    progress.skipped += queue.skippedByWalk.exchange(0);
    // The last counts, also for a scope without files.
    if (!handled || finished)
        handler(nullptr, progress);
    return finished;
}

void lowerPriority() {
    // Nice values are per thread on Linux; threads started from here inherit it.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
}

std::string encodingName(HVStringEncoding encoding) {
    return HVFileEncodings::stringFromEncoding(encoding).value_or("the file's encoding");
}

// Replaces one job's ranges in its file on disk; the reason when the file was left as it was.
std::optional<HVError> replaceInFile(HVSearch& search, const HVReplaceJob& job) {
    const std::string& path = job.node->path();
    HVError error;
    auto data = HVFileSystem::readFile(path, &error);
    if (!data)
        return error;
    HVStringEncoding encoding = job.node->encoding();
    if (encoding == HVNoStringEncoding)
        encoding = HVFileEncodings::encodingForPath(path, *data);
    HVByteOrder order = HVFileEncodings::byteOrderOfData(*data);
    auto text = HVFileEncodings::decodeStrictly(*data, encoding);
    if (!text)
        return HVError(HVPlatformErrorDomain, HVFileReadCorruptFileError,
                       "Cannot replace in \"" + path + "\": it no longer reads as " +
                           encodingName(encoding));
    if (search.replaceRanges(job.ranges, *text, true) == 0)
        return std::nullopt;
    auto bytes = HVFileEncodings::encodeStrictly(*text, encoding, order);
    if (!bytes)
        return HVError(HVPlatformErrorDomain, HVFileWriteUnknownError,
                       "Cannot replace in \"" + path + "\": the new text has characters that " +
                           encodingName(encoding) + " cannot hold");
    if (!HVFileSystem::writeFileAtomically(path, *bytes, &error))
        return error;
    return std::nullopt;
}

} // namespace

HVSearchRunnerDelegate::~HVSearchRunnerDelegate() = default;
void HVSearchRunnerDelegate::searchRunnerFoundNodes(
    std::vector<std::shared_ptr<HVMultiFileSearchNode>>) {}
void HVSearchRunnerDelegate::searchRunnerProgress(std::size_t, std::size_t) {}
void HVSearchRunnerDelegate::searchRunnerDidFinishAllSearches(bool) {}
void HVSearchRunnerDelegate::searchRunnerDidFinishAllReplaces(std::vector<HVError>) {}

struct HVSearchRunner::State {
    std::weak_ptr<HVSearchRunnerDelegate> delegate;
    // The rest is touched on the main thread only. A run's posts arrive only while its
    // generation is current, so a superseded or abandoned run says nothing more.
    std::uint64_t searchGeneration = 0;
    std::uint64_t replaceGeneration = 0;
    bool searching = false;
    bool replacing = false;
    std::shared_ptr<std::atomic<bool>> searchCancelled;
    std::shared_ptr<std::atomic<bool>> replaceCancelled;
};

HVSearchRunner::HVSearchRunner(std::weak_ptr<HVSearchRunnerDelegate> delegate)
    : m_state(std::make_shared<State>()) {
    m_state->delegate = std::move(delegate);
}

HVSearchRunner::~HVSearchRunner() {
    cancel();
    ++m_state->searchGeneration;
    ++m_state->replaceGeneration;
}

void HVSearchRunner::runSearch(const HVSearch& search, HVSearchScope scope) {
    if (m_state->searchCancelled)
        m_state->searchCancelled->store(true);
    std::uint64_t generation = ++m_state->searchGeneration;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_state->searchCancelled = cancelled;
    m_state->searching = true;
    std::shared_ptr<HVSearch> copy = search.copy();
    std::thread([state = m_state, generation, cancelled, copy, scope = std::move(scope)]() mutable {
        lowerPriority();
        auto deliver = [&](std::vector<std::shared_ptr<HVMultiFileSearchNode>> nodes,
                           Progress progress) {
            HVDispatcher::main().post([state, generation, nodes = std::move(nodes), progress] {
                if (state->searchGeneration != generation)
                    return;
                auto delegate = state->delegate.lock();
                if (!delegate)
                    return;
                if (!nodes.empty())
                    delegate->searchRunnerFoundNodes(nodes);
                delegate->searchRunnerProgress(progress.searched, progress.skipped);
            });
        };
        std::vector<std::shared_ptr<HVMultiFileSearchNode>> batch;
        Progress last;
        auto lastPost = std::chrono::steady_clock::now();
        bool finished =
            searchScope(*copy, scope, 0, cancelled.get(),
                        [&](std::shared_ptr<HVMultiFileSearchNode> node, const Progress& progress) {
                            if (node)
                                batch.push_back(std::move(node));
                            last = progress;
                            auto now = std::chrono::steady_clock::now();
                            if (now - lastPost >= batchInterval) {
                                deliver(std::move(batch), progress);
                                batch.clear();
                                lastPost = now;
                            }
                        });
        deliver(std::move(batch), last);
        HVDispatcher::main().post([state, generation, finished] {
            if (state->searchGeneration != generation)
                return;
            state->searching = false;
            if (auto delegate = state->delegate.lock())
                delegate->searchRunnerDidFinishAllSearches(!finished);
        });
    }).detach();
}

void HVSearchRunner::runReplaces(const HVSearch& search, std::vector<HVReplaceJob> jobs) {
    if (m_state->replaceCancelled)
        m_state->replaceCancelled->store(true);
    std::uint64_t generation = ++m_state->replaceGeneration;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_state->replaceCancelled = cancelled;
    m_state->replacing = true;
    std::shared_ptr<HVSearch> copy = search.copy();
    std::thread([state = m_state, generation, cancelled, copy, jobs = std::move(jobs)] {
        std::vector<HVError> failures;
        for (const HVReplaceJob& job : jobs) {
            if (cancelled->load())
                break;
            if (!job.node || job.node->fromDocument() || job.ranges.empty())
                continue;
            if (auto failure = replaceInFile(*copy, job))
                failures.push_back(std::move(*failure));
        }
        HVDispatcher::main().post([state, generation, failures = std::move(failures)]() mutable {
            if (state->replaceGeneration != generation)
                return;
            state->replacing = false;
            if (auto delegate = state->delegate.lock())
                delegate->searchRunnerDidFinishAllReplaces(std::move(failures));
        });
    }).detach();
}

void HVSearchRunner::cancel() {
    if (m_state->searchCancelled)
        m_state->searchCancelled->store(true);
    if (m_state->replaceCancelled)
        m_state->replaceCancelled->store(true);
}

bool HVSearchRunner::runningSearch() const {
    return m_state->searching;
}

bool HVSearchRunner::runningReplace() const {
    return m_state->replacing;
}

bool HVSearchRunner::searchNow(const HVSearch& search, const HVSearchScope& scope,
                               const NodeHandler& handler, unsigned threads,
                               const std::atomic<bool>* cancelled) {
    return searchScope(search, scope, threads, cancelled,
                       [&](std::shared_ptr<HVMultiFileSearchNode> node, const Progress&) {
                           if (node)
                               handler(std::move(node));
                       });
}

std::size_t HVSearchRunner::replaceInText(HVSearch& search, std::u16string& text,
                                          const std::vector<HVRange>& ranges) {
    return search.replaceRanges(ranges, text, true);
}
