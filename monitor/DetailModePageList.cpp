#include "monitor/DetailModeSheet.h"

// The wizard's pages in their order. A page of the list that is not built
// yet is simply absent: the sheet runs with those that are.
std::vector<DetailModePageEntry> DetailModePages()
{
    std::vector<DetailModePageEntry> pages;
    return pages;
}
