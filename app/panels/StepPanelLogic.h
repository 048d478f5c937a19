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

// The hue up-downs count tenths of a degree over -1 .. 3600 so that a step
// past either end is seen: 3600 or more comes round to 0, below 0 to 3599.
constexpr int WrapHueTenths(int position)
{
    if (position >= 3600)
        return 0;
    if (position < 0)
        return 3599;
    return position;
}
