#include "ui/theme/Typography.h"

#include <QFontInfo>
#include <QGuiApplication>

using namespace Qt::StringLiterals;

namespace quillon {

TextStyleSpec textStyleSpec(TextStyle style) {
    switch (style) {
    case TextStyle::caption:
        return {10, QFont::Normal};
    case TextStyle::subheadline:
        return {11, QFont::Normal};
    case TextStyle::body:
        return {13, QFont::Normal};
    case TextStyle::headline:
        return {13, QFont::Bold};
    case TextStyle::title3:
        return {15, QFont::Normal};
    case TextStyle::title2:
        return {17, QFont::Normal};
    }
    return {13, QFont::Normal};
}

QFont font(TextStyle style) {
    return font(style, textStyleSpec(style).weight);
}

QFont font(TextStyle style, QFont::Weight weight) {
    return fontOfSize(textStyleSpec(style).referenceSize, weight);
}

QFont fontOfSize(qreal referenceSize, QFont::Weight weight) {
    QFont result = QGuiApplication::font();
    const qreal scale = referenceSize / referenceBodySize;
    // The desktop gives its text size in points, or now and then in pixels.
    if (result.pointSizeF() > 0) {
        result.setPointSizeF(result.pointSizeF() * scale);
    } else if (result.pixelSize() > 0) {
        result.setPixelSize(qMax(1, qRound(result.pixelSize() * scale)));
    }
    result.setWeight(weight);
    return result;
}

void resolveGenericDesktopFontFamily() {
    // fontconfig's sans-serif family under the names it and the toolkit give it. Renamed, it
    // still takes the glyphs it lacks from the same fonts; a monospace desktop font would take
    // some scripts and emoji from others.
    static const QStringList generic{u"sans-serif"_s, u"sans serif"_s, u"sans"_s};
    QFont desktop = QGuiApplication::font();
    if (!generic.contains(desktop.family().toLower())) {
        return;
    }
    const QString drawnBy = QFontInfo(desktop).family();
    if (drawnBy.isEmpty() || generic.contains(drawnBy.toLower())) {
        return;
    }
    desktop.setFamily(drawnBy);
    QGuiApplication::setFont(desktop);
}

} // namespace quillon
