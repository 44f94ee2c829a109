#pragma once

// A colour in RGB with alpha, each component from 0 to 1.
struct HVColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    friend bool operator==(const HVColor&, const HVColor&) = default;

    static constexpr HVColor white() { return {1, 1, 1, 1}; }
    static constexpr HVColor black() { return {0, 0, 0, 1}; }
    static constexpr HVColor gray(double level, double alpha = 1) {
        return {level, level, level, alpha};
    }
};
