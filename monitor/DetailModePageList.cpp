#include "monitor/DetailModeSheet.h"

#include "monitor/DetailModePages1.h"

namespace {

template <typename Page> DetailModePageEntry Entry(int dialogId)
{
    return {dialogId, [](CDetailModeSheet& sheet) -> CDetailModePage* { return new Page(sheet); }};
}

} // namespace

// The wizard's pages in their order. A page that is not in the list is
// simply absent: the sheet runs with those that are.
std::vector<DetailModePageEntry> DetailModePages()
{
    return {
        Entry<CDetailModePage1>(kDetailModePage1Id),
        Entry<CDetailModePage2>(kDetailModePage2Id),
        Entry<CDetailModePage3>(kDetailModePage3Id),
        Entry<CDetailModePage3_5>(kDetailModePage3_5Id),
    };
}
