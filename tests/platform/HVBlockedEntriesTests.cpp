#include "HVBlockedEntries.h"
#include "HVSeededRuns.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using Entries = HVBlockedEntries<std::uint32_t>;

std::map<std::size_t, std::uint32_t> contents(const Entries& entries) {
    std::map<std::size_t, std::uint32_t> out;
    if (entries.size() == 0)
        return out;
    Entries::Cursor cursor;
    do
        out[entries.position(cursor)] = entries.payload(cursor);
    while (entries.next(cursor));
    return out;
}

} // namespace

TEST(HVBlockedEntries, RandomSplicesAgreeWithAPlainMap) {
    HVForEachSeed(15, [](HVSeededRun& random) {
        // Blocks of 8 entries, so that a few entries split and join them.
        Entries entries(8);
        std::map<std::size_t, std::uint32_t> model;
        std::size_t length = 200;
        for (int step = 0; step < 300; ++step) {
            std::string where = random.where(step);
            std::size_t lo = random.below(length + 1);
            std::size_t hi = lo + random.below(std::min<std::size_t>(length - lo, 30) + 1);
            switch (random.below(4)) {
            case 0: {
                // Payloads in [lo, hi) become f(payload); then equal neighbours join.
                auto f = [](std::uint32_t p) { return p % 3; };
                entries.transform(lo, hi, f);
                for (auto it = model.lower_bound(lo); it != model.end() && it->first < hi; ++it)
                    it->second = f(it->second);
                entries.compact(lo, hi);
                bool has = false;
                std::uint32_t previous = 0;
                for (auto it = model.begin(); it != model.end();) {
                    bool inside = it->first >= lo && it->first <= hi;
                    if (inside && has && it->second == previous) {
                        it = model.erase(it);
                        continue;
                    }
                    has = true;
                    previous = it->second;
                    ++it;
                }
                break;
            }
            default: {
                // The text [lo, hi) is replaced by count characters with new entries in them.
                std::size_t count = random.below(40);
                std::vector<Entries::Item> items;
                for (std::size_t p = lo; p < lo + count; p += 1 + random.below(6))
                    items.push_back({p, std::uint32_t(random.below(5))});
                entries.splice(lo, hi, count - (hi - lo), items.data(), items.size());
                std::map<std::size_t, std::uint32_t> next;
                for (const auto& [position, payload] : model) {
                    if (position < lo)
                        next[position] = payload;
                    else if (position >= hi)
                        next[position + count - (hi - lo)] = payload;
                }
                for (const auto& item : items)
                    next[item.position] = item.payload;
                model = next;
                length = length + count - (hi - lo);
            }
            }
            ASSERT_EQ(entries.problem(length), "") << where;
            ASSERT_EQ(entries.size(), model.size()) << where;
            ASSERT_EQ(contents(entries), model) << where;
            std::size_t probe = random.below(length + 1);
            Entries::Cursor cursor;
            auto last = model.upper_bound(probe);
            bool found = entries.findLast(probe, cursor);
            ASSERT_EQ(found, last != model.begin()) << where;
            if (found) {
                EXPECT_EQ(entries.position(cursor), std::prev(last)->first) << where;
                EXPECT_EQ(entries.ordinal(cursor),
                          std::size_t(std::distance(model.begin(), std::prev(last))))
                    << where;
            }
        }
    });
}
