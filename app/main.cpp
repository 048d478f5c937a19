#include <cstdio>

int main()
{
    std::puts("CHROMIVEL: the main window is not built yet; the colour core and settings "
              "layers are in place. Nothing to show, exiting.");
    return 0;
}
