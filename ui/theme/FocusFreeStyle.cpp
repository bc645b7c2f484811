#include "ui/theme/FocusFreeStyle.h"

#include <QStyleFactory>
#include <QStyleOption>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

// Draws with the option's focus state taken out and put back afterwards: the option's own
// type (one of many QStyleOption subclasses) cannot be copied here.
template <typename Draw> void withoutFocus(const QStyleOption* option, Draw draw) {
    if (!option || !option->state.testFlag(QStyle::State_HasFocus)) {
        draw();
        return;
    }
    auto* mutableOption = const_cast<QStyleOption*>(option);
    mutableOption->state.setFlag(QStyle::State_HasFocus, false);
    draw();
    mutableOption->state.setFlag(QStyle::State_HasFocus, true);
}

} // namespace

FocusFreeStyle::FocusFreeStyle(QStyle* base)
    : QProxyStyle(base ? base : QStyleFactory::create(u"Fusion"_s)) {}

void FocusFreeStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    if (element == PE_FrameFocusRect) {
        return;
    }
    withoutFocus(option, [&] { QProxyStyle::drawPrimitive(element, option, painter, widget); });
}

void FocusFreeStyle::drawControl(ControlElement element, const QStyleOption* option,
                                 QPainter* painter, const QWidget* widget) const {
    withoutFocus(option, [&] { QProxyStyle::drawControl(element, option, painter, widget); });
}

void FocusFreeStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                        QPainter* painter, const QWidget* widget) const {
    withoutFocus(option,
                 [&] { QProxyStyle::drawComplexControl(control, option, painter, widget); });
}

} // namespace quillon
