#pragma once
// A mouse that tests move and press by hand, for controls that poll the
// pointer from timers.

#include "controls/support/PointerState.h"

class FakePointerState final : public IPointerState
{
public:
    bool primaryButtonDown() const override { return buttonDown; }
    QPoint globalCursorPosition() const override { return position; }

    bool buttonDown = false;
    QPoint position;
};
