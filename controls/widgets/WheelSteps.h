#pragma once
// Whole wheel steps from the wheel's angle deltas. A mouse notch is 120
// units; touchpads and high-resolution wheels send smaller deltas, which
// add up until they make a notch. What is left over carries to the next
// event; turning the other way drops it, so a step always follows 120
// units in one direction.

class WheelSteps
{
public:
    static constexpr int kNotch = 120;

    // Adds a delta (positive away from the user) and returns the whole
    // steps it completes, signed like the delta.
    int Add(int delta)
    {
        if ((delta > 0 && m_rest < 0) || (delta < 0 && m_rest > 0))
            m_rest = 0;
        m_rest += delta;
        const int steps = m_rest / kNotch;
        m_rest -= steps * kNotch;
        return steps;
    }

    int Rest() const { return m_rest; }

private:
    int m_rest = 0;
};
