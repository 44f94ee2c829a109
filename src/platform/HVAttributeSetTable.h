#pragma once

#include "HVAttributes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

// The attribute sets of a text's runs, interned: equal sets share one object and one small id,
// so that runs hold 32-bit ids and compare by them. Merges and removals are remembered, so
// painting many tokens with few styles allocates nothing per token. Id 0 and null stand for
// the empty set.
class HVAttributeSetTable {
public:
    struct Set {
        HVAttributesRef attributes;
        std::uint32_t id = 0;
        bool marked = false;
        // Whether the set holds an attachment.
        bool attachment = false;
    };
    using SetMap = std::unordered_map<const Set*, const Set*>;

    static std::uint32_t idOf(const Set* set) { return set ? set->id : 0; }
    const Set* set(std::uint32_t id) const { return m_setsById[id]; }

    const Set* intern(const HVAttributesRef& attributes);
    const Set* internValue(const HVAttributes& attributes, const HVAttributesRef* shared = nullptr);
    // The set of old's values with added's over them.
    const Set* merge(const Set* old, const Set* added);
    // What removing the attribute of this name made of each set so far.
    SetMap& removals(std::string_view name);

    // Sets interned and not yet collected, and how many of them hold an attachment.
    std::size_t count() const { return m_internedCount; }
    std::size_t attachmentSets() const { return m_attachmentSets; }

    // Drops the sets that no run uses once many were made, such as the sets of attachments of
    // regions that were expanded again. forEachUsedId(mark) calls mark(id) for the id of every
    // run. Only at the start of an operation, while no set pointers are held elsewhere.
    template <typename ForEachUsedId> void collectIfNeeded(ForEachUsedId&& forEachUsedId) {
        if (m_internedCount < m_collectAt)
            return;
        forEachUsedId([this](std::uint32_t id) {
            if (id)
                m_setsById[id]->marked = true;
        });
        sweep();
    }

private:
    struct PairHash {
        std::size_t operator()(const std::pair<const Set*, const Set*>& p) const {
            return std::hash<const void*>()(p.first) * 31 + std::hash<const void*>()(p.second);
        }
    };

    const Set* remember(const Set* set);
    void sweep();

    std::unordered_map<std::size_t, std::vector<std::unique_ptr<Set>>> m_byHash;
    // The set of each id, and the ids that collecting freed.
    std::vector<Set*> m_setsById{nullptr};
    std::vector<std::uint32_t> m_freeIds;
    std::unordered_map<const HVAttributes*, const Set*> m_byObject;
    std::size_t m_internedCount = 0;
    std::size_t m_collectAt = 256;
    std::size_t m_attachmentSets = 0;
    std::unordered_map<std::pair<const Set*, const Set*>, const Set*, PairHash> m_merges;
    std::unordered_map<std::string, SetMap> m_removals;
    // The sets interned last: a highlighter passes the same few sets again and again, and
    // comparing with them is cheaper than hashing.
    std::array<const Set*, 4> m_recent{};
    std::size_t m_nextRecent = 0;
};
