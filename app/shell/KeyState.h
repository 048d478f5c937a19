#pragma once
// The keyboard as a mouse handler sees it: whether the space bar is held
// while the mouse presses and moves (the image view pans only then), and
// which modifier keys are down at a given moment (a panel that changes what
// it shows when entered with keys held asks that). Qt has
// no query of a key's state, so the program's one keyboard state follows
// the key events themselves: an event filter on the application sees every
// press and release of the space bar, whichever widget has the focus, and
// forgets the key when the application loses the keyboard (the release
// then goes to another program). Handlers read it through this interface,
// so a test can stand in for the keyboard.

#include <Qt>

class IKeyState
{
public:
    virtual ~IKeyState() = default;
    virtual bool spaceBarDown() const = 0;
    // The modifier keys held now; the system's answer
    // (QGuiApplication::queryKeyboardModifiers) unless a test stands in.
    virtual Qt::KeyboardModifiers modifiersDown() const;
};

// The real keyboard (the filter is installed on the application the first
// time this is called; it needs a QCoreApplication).
const IKeyState& SystemKeyState();
