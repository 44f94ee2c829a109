#pragma once

#include "HVTextLineModel.h"

#include <memory>

class HVTextDisplayModel;

// Vertical moves by rows as the display lays them out, with the goal kept as an x position.
// Falls back to the text's lines once the display model is gone.
class HVTextDisplayLineModel : public HVTextLineModel {
public:
    explicit HVTextDisplayLineModel(std::weak_ptr<const HVTextDisplayModel> display);

    HVRange lineRangeForPosition(const HVTextViewModel& view, std::size_t position) const override;
    double goalForPosition(const HVTextViewModel& view, std::size_t position) const override;
    std::size_t positionForGoal(const HVTextViewModel& view, std::size_t position,
                                std::ptrdiff_t lines, double goal) const override;

private:
    std::weak_ptr<const HVTextDisplayModel> m_display;
};
