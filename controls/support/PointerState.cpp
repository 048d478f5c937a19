#include "controls/support/PointerState.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

class SystemPointer final : public IPointerState
{
public:
    bool primaryButtonDown() const override
    {
        return (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0;
    }
    QPoint globalCursorPosition() const override { return QCursor::pos(); }
};

} // namespace

const IPointerState& SystemPointerState()
{
    static const SystemPointer pointer;
    return pointer;
}
