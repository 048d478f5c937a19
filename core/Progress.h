#pragma once
// Progress reporting. Every form returns non-zero to go on and 0 to cancel.

// Image and line operations: (done, total, context).
using ImageProgressFunc = int (*)(int done, int total, void* context);

// A progress slot of the project: a function of (progress, user pointer)
// and the user pointer it is called with. An empty slot reports nothing.
struct ProgressSlot
{
    int (*func)(double progress, void* user) = nullptr;
    void* user = nullptr;

    explicit operator bool() const { return func != nullptr; }
    int operator()(double progress) const { return func ? func(progress, user) : 1; }
};
