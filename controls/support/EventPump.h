#pragma once
// Handling the user-interface thread's pending events from inside a long
// operation, so that a progress dialog repaints and its Cancel button
// works. Every such pump of the program goes through PumpEvents, which
// counts how deep the program is inside one. What those events run must
// not touch the project's images while the operation that pumps is half
// done (a load filling the working image, a step rewriting it): the image
// view's painting and refinement ask IsPumpingEvents and then do nothing.

// Handles every pending event, with IsPumpingEvents true meanwhile.
void PumpEvents();
// True while the thread is inside PumpEvents (at any depth).
bool IsPumpingEvents();
