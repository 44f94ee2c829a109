#include "HVTextDisplayLineModel.h"

#include "HVTextDisplayModel.h"

HVTextDisplayLineModel::HVTextDisplayLineModel(std::weak_ptr<const HVTextDisplayModel> display)
    : m_display(std::move(display)) {}

HVRange HVTextDisplayLineModel::lineRangeForPosition(const HVTextViewModel& view,
                                                     std::size_t position) const {
    if (auto display = m_display.lock())
        return display->rowRangeForPosition(position);
    return HVTextLineModel::lineRangeForPosition(view, position);
}

double HVTextDisplayLineModel::goalForPosition(const HVTextViewModel& view,
                                               std::size_t position) const {
    if (auto display = m_display.lock())
        return display->xForPosition(position);
    return HVTextLineModel::goalForPosition(view, position);
}

std::size_t HVTextDisplayLineModel::positionForGoal(const HVTextViewModel& view,
                                                    std::size_t position, std::ptrdiff_t lines,
                                                    double goal) const {
    if (auto display = m_display.lock())
        return display->positionForRowMove(position, lines, goal);
    return HVTextLineModel::positionForGoal(view, position, lines, goal);
}
