#pragma once
// Rules the step panels share, apart from Qt.

// The point-number up-downs run one past each end of the edit's range
// (0 .. maximum + 1) so that a step beyond an end is seen: a position
// above maximum comes round to minimum, one below minimum to maximum;
// positions inside stay.
constexpr int WrapPointNumber(int position, int minimum, int maximum)
{
    if (position > maximum)
        return minimum;
    if (position < minimum)
        return maximum;
    return position;
}
