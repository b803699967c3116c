#include "columnfillstages.h"

#include <cassert>

#include "removal/columnruns.h"

namespace tolvane {

void widenMarks(Plane<std::uint8_t> marks, int wirePadding)
{
    assert(wirePadding >= 0);
    const ColumnRuns runs = runsOf(Plane<const std::uint8_t>(marks));
    for (int x = 0; x < marks.width; ++x) {
        widenColumn(runs.column(x), marks.height, wirePadding, [&](int begin, int end) {
            for (int y = begin; y < end; ++y)
                marks.at(x, y) = 1;
        });
    }
}

void fillMarkedRuns(Plane<const Argb> photo, Plane<const std::uint8_t> marks, Plane<Argb> result)
{
    assert(photo.width == marks.width && photo.height == marks.height);
    assert(result.width == marks.width && result.height == marks.height);
    const ColumnRuns runs = runsOf(marks);
    for (int x = 0; x < marks.width; ++x)
        fillColumn(runs.column(x), marks.height, photo, result, x);
}

} // namespace tolvane
