#include "HVAttributeSetTable.h"

#include <algorithm>

const HVAttributeSetTable::Set* HVAttributeSetTable::intern(const HVAttributesRef& attributes) {
    if (!attributes || attributes->empty())
        return nullptr;
    auto known = m_byObject.find(attributes.get());
    if (known != m_byObject.end())
        return known->second;
    return internValue(*attributes, &attributes);
}

const HVAttributeSetTable::Set* HVAttributeSetTable::internValue(const HVAttributes& attributes,
                                                                 const HVAttributesRef* shared) {
    if (attributes.empty())
        return nullptr;
    for (const Set* set : m_recent) {
        if (set && *set->attributes == attributes)
            return set;
    }
    auto& bucket = m_byHash[attributes.hash()];
    for (const auto& existing : bucket) {
        if (*existing->attributes == attributes)
            return remember(existing.get());
    }
    auto set = std::make_unique<Set>();
    set->attributes = shared ? *shared : std::make_shared<const HVAttributes>(attributes);
    set->attachment = attributes.attachment() != nullptr;
    m_attachmentSets += set->attachment ? 1 : 0;
    if (m_freeIds.empty()) {
        // Collecting keeps the sets to about twice as many as the runs use.
        set->id = std::uint32_t(m_setsById.size());
        m_setsById.push_back(set.get());
    } else {
        set->id = m_freeIds.back();
        m_freeIds.pop_back();
        m_setsById[set->id] = set.get();
    }
    m_byObject.emplace(set->attributes.get(), set.get());
    bucket.push_back(std::move(set));
    ++m_internedCount;
    return remember(bucket.back().get());
}

const HVAttributeSetTable::Set* HVAttributeSetTable::remember(const Set* set) {
    m_recent[m_nextRecent++ % m_recent.size()] = set;
    return set;
}

const HVAttributeSetTable::Set* HVAttributeSetTable::merge(const Set* old, const Set* added) {
    if (!old || !added || old == added)
        return added ? added : old;
    auto key = std::make_pair(old, added);
    auto it = m_merges.find(key);
    if (it != m_merges.end())
        return it->second;
    const Set* result = internValue(old->attributes->adding(*added->attributes));
    m_merges.emplace(key, result);
    return result;
}

HVAttributeSetTable::SetMap& HVAttributeSetTable::removals(std::string_view name) {
    return m_removals[std::string(name)];
}

void HVAttributeSetTable::sweep() {
    m_merges.clear();
    m_removals.clear();
    m_recent.fill(nullptr);
    m_internedCount = 0;
    for (auto bucket = m_byHash.begin(); bucket != m_byHash.end();) {
        auto& sets = bucket->second;
        std::erase_if(sets, [&](const std::unique_ptr<Set>& set) {
            if (set->marked)
                return false;
            m_byObject.erase(set->attributes.get());
            m_attachmentSets -= set->attachment ? 1 : 0;
            m_setsById[set->id] = nullptr;
            m_freeIds.push_back(set->id);
            return true;
        });
        for (auto& set : sets)
            set->marked = false;
        m_internedCount += sets.size();
        bucket = sets.empty() ? m_byHash.erase(bucket) : std::next(bucket);
    }
    m_collectAt = std::max<std::size_t>(256, m_internedCount * 2);
}
