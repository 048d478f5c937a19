#pragma once
// What the preferences ask of the monitor object: the displays it can talk
// to over DDC/CI, which one is in use, and a change of that choice. The
// monitor layer implements it over its display list; tests give a fake.

#include <string>
#include <vector>

class IMonitorList
{
public:
    virtual ~IMonitorList() = default;
    // One readable description per display, in the order of their indices.
    virtual std::vector<std::string> GetMonitorDescriptions() const = 0;
    // The index of the display in use (-1 when none is).
    virtual int GetCurrentMonitorIndex() const = 0;
    // Makes the display of that index the one in use. False when there is
    // no such display or it does not answer over DDC/CI; the choice is
    // made all the same in the second case, as far as the object can.
    virtual bool SelectMonitor(int index) = 0;
};
