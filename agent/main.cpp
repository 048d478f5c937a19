#include <cstdio>

int main()
{
    std::puts("ZEPH: the tray agent is not built yet. Nothing to run, exiting.");
    return 0;
}
