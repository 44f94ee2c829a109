#pragma once

#include <cstdint>
#include <gtest/gtest.h>
#include <random>
#include <string>

// The random choices of one seeded run of a model test.
class HVSeededRun {
public:
    explicit HVSeededRun(std::uint32_t seed) : m_seed(seed), m_engine(seed) {}
    // Uniform in [0, n); 0 when there is no choice.
    std::size_t below(std::size_t n) {
        return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(m_engine);
    }
    // Names the step in failure messages, so that a failing case can be replayed.
    std::string where(int step) const {
        return "seed " + std::to_string(m_seed) + " step " + std::to_string(step);
    }
    std::uint32_t seed() const { return m_seed; }

private:
    std::uint32_t m_seed;
    std::mt19937 m_engine;
};

// Runs the body with seeds 1 to seeds, stopping at the first fatal failure.
template <typename Body> void HVForEachSeed(std::uint32_t seeds, Body body) {
    for (std::uint32_t seed = 1; seed <= seeds && !::testing::Test::HasFatalFailure(); ++seed) {
        HVSeededRun random(seed);
        body(random);
    }
}
