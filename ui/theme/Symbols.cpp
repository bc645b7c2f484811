#include "ui/theme/Symbols.h"

#include "ui/theme/SymbolIconEngine.h"

#include <QDir>
#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QStandardPaths>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

struct SymbolNames {
    QStringList themeNames;
    QString glyph;
};

SymbolNames namesFor(Symbol symbol) {
    // Symbolic names first (GNOME-style themes), then Breeze's, which backs every theme.
    switch (symbol) {
    case Symbol::chartLineUptrend:
        return {{u"office-chart-line"_s, u"view-statistics"_s}, u"\u2197"_s};
    case Symbol::docText:
        return {{u"text-x-generic-symbolic"_s, u"text-x-generic"_s}, u"\u2263"_s};
    case Symbol::squareAndPencil:
        return {{u"document-edit-symbolic"_s, u"document-edit"_s}, u"\u270E"_s};
    case Symbol::gearshape:
        return {{u"emblem-system-symbolic"_s, u"configure"_s}, u"\u2699"_s};
    case Symbol::ladybug:
        return {{u"bug-symbolic"_s, u"tools-report-bug"_s}, u"!"_s};
    case Symbol::xmark:
        return {{u"edit-delete-remove"_s, u"window-close-symbolic"_s}, u"\u00D7"_s};
    case Symbol::chevronLeft:
        return {{u"go-previous-symbolic"_s, u"go-previous"_s}, u"\u2039"_s};
    case Symbol::listBullet:
        return {{u"view-list-bullet-symbolic"_s, u"format-list-unordered"_s}, u"\u2022"_s};
    case Symbol::listNumber:
        return {{u"view-list-ordered-symbolic"_s, u"format-list-ordered"_s}, u"1."_s};
    case Symbol::person2:
        return {{u"group"_s, u"system-users-symbolic"_s}, u"\u263A"_s};
    case Symbol::line3Horizontal:
        return {{u"open-menu-symbolic"_s, u"application-menu"_s}, u"\u2261"_s};
    case Symbol::photoOnRectangle:
        return {{u"insert-image-symbolic"_s, u"insert-image"_s}, u"\u25A3"_s};
    }
    return {};
}

// Without a desktop session Qt knows no icon folders and no theme; the installed themes
// live under the XDG data folders. Breeze has every symbol the screens use, so it backs
// whatever theme the desktop chose.
void prepareIconThemes() {
    static const bool prepared = [] {
        QStringList paths = QIcon::themeSearchPaths();
        const QStringList dataDirs =
            QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        for (const QString& dir : dataDirs) {
            const QString icons = QDir(dir).filePath(u"icons"_s);
            if (!paths.contains(icons) && QDir(icons).exists()) {
                paths.append(icons);
            }
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty()) {
            QIcon::setThemeName(u"hicolor"_s);
        }
        const QString fallback = QIcon::fallbackThemeName();
        if (fallback.isEmpty() || fallback == u"hicolor") {
            QIcon::setFallbackThemeName(u"breeze"_s);
        }
        return true;
    }();
    Q_UNUSED(prepared);
}

// The themes' bug reads as a framed picture, their list symbols are hairlines at toolbar
// size and their document turns into a solid block at larger sizes, so these are drawn here,
// on a 20-unit grid, solid enough to read at 20 pixels.
bool drawsItself(Symbol symbol) {
    return symbol == Symbol::ladybug || symbol == Symbol::listBullet ||
           symbol == Symbol::listNumber || symbol == Symbol::docText;
}

void drawListLines(QPainter& painter, qreal firstX) {
    QPen line(Qt::black, 2.0, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(line);
    for (const qreal y : {4.0, 10.0, 16.0}) {
        painter.drawLine(QPointF(firstX, y), QPointF(18.5, y));
    }
}

void drawSymbol(QPainter& painter, Symbol symbol, int side) {
    painter.save();
    painter.scale(side / 20.0, side / 20.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    switch (symbol) {
    case Symbol::ladybug: {
        // Head, body split by the wing line, three legs a side, two feelers.
        QPen limb(Qt::black, 1.4, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(limb);
        for (const qreal y : {8.5, 12.0, 15.5}) {
            painter.drawLine(QPointF(2.0, y - 1.0), QPointF(5.0, y));
            painter.drawLine(QPointF(18.0, y - 1.0), QPointF(15.0, y));
        }
        painter.drawLine(QPointF(8.0, 3.6), QPointF(6.6, 1.6));
        painter.drawLine(QPointF(12.0, 3.6), QPointF(13.4, 1.6));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(10, 5.2), 2.8, 2.4);
        painter.drawEllipse(QRectF(4.6, 6.6, 10.8, 12.4));
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        painter.setPen(QPen(Qt::black, 1.2));
        painter.drawLine(QPointF(10, 6.6), QPointF(10, 19.0));
        painter.drawLine(QPointF(7.0, 7.0), QPointF(13.0, 7.0));
        painter.setPen(Qt::NoPen);
        for (const QPointF& spot :
             {QPointF(7.6, 11.0), QPointF(12.4, 11.0), QPointF(7.4, 15.0), QPointF(12.6, 15.0)}) {
            painter.drawEllipse(spot, 1.1, 1.1);
        }
        break;
    }
    case Symbol::docText: {
        // A page with a folded corner and three lines of text.
        QPainterPath page;
        page.moveTo(4.5, 2.0);
        page.lineTo(11.5, 2.0);
        page.lineTo(15.5, 6.0);
        page.lineTo(15.5, 18.0);
        page.lineTo(4.5, 18.0);
        page.closeSubpath();
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(Qt::black, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(page);
        painter.drawPolyline(QPolygonF{QPointF(11.5, 2.0), QPointF(11.5, 6.0), QPointF(15.5, 6.0)});
        for (const qreal y : {9.5, 12.5, 15.0}) {
            painter.drawLine(QPointF(7.0, y), QPointF(13.0, y));
        }
        break;
    }
    case Symbol::listBullet:
        for (const qreal y : {4.0, 10.0, 16.0}) {
            painter.drawEllipse(QPointF(3.2, y), 2.0, 2.0);
        }
        drawListLines(painter, 8.0);
        break;
    case Symbol::listNumber: {
        QFont digits;
        digits.setPixelSize(7);
        digits.setWeight(QFont::Bold);
        painter.setFont(digits);
        painter.setPen(Qt::black);
        const QString numbers[] = {u"1"_s, u"2"_s, u"3"_s};
        for (int i = 0; i < 3; ++i) {
            painter.drawText(QRectF(0.0, 0.5 + 6.0 * i, 6.5, 7.0), Qt::AlignCenter, numbers[i]);
        }
        drawListLines(painter, 8.5);
        break;
    }
    default:
        break;
    }
    painter.restore();
}

} // namespace

QIcon symbolIcon(Symbol symbol) {
    prepareIconThemes();
    for (const QString& name : namesFor(symbol).themeNames) {
        if (QIcon::hasThemeIcon(name)) {
            return QIcon::fromTheme(name);
        }
    }
    return {};
}

QIcon tintedSymbolIcon(Symbol symbol, const QColor& color) {
    return QIcon(new SymbolIconEngine(symbol, color));
}

QPixmap symbolPixmap(Symbol symbol, const QColor& color, int pixelSize, qreal devicePixelRatio) {
    const int side = qMax(1, qRound(pixelSize * devicePixelRatio));
    // Painted in device pixels; the ratio is set only when the picture is complete.
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QIcon icon = drawsItself(symbol) ? QIcon() : symbolIcon(symbol);
    if (drawsItself(symbol)) {
        drawSymbol(painter, symbol, side);
    } else if (!icon.isNull()) {
        // Themes ship fixed sizes: the smallest one at least as large as asked, else the
        // largest, scaled to fit, where QIcon would only centre a smaller picture. Scalable
        // pictures are drawn at the size asked.
        QSize best;
        QSize largest;
        for (const QSize& available : icon.availableSizes()) {
            if (available.width() >= side &&
                (!best.isValid() || available.width() < best.width())) {
                best = available;
            }
            if (available.width() > largest.width()) {
                largest = available;
            }
        }
        if (!best.isValid()) {
            best = largest;
        }
        // At ratio 1: the application's own ratio would shrink the picture into one corner.
        QPixmap source = icon.pixmap(best.isValid() ? best : QSize(side, side), 1.0);
        source.setDevicePixelRatio(1.0);
        if (source.size() != QSize(side, side)) {
            source = source.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        painter.drawPixmap((side - source.width()) / 2, (side - source.height()) / 2, source);
    } else {
        QFont glyphFont;
        glyphFont.setPixelSize(side);
        glyphFont.setWeight(QFont::DemiBold);
        painter.setFont(glyphFont);
        painter.setPen(Qt::black);
        painter.drawText(QRect(0, 0, side, side), Qt::AlignCenter, namesFor(symbol).glyph);
    }
    // Themes draw their symbols in their own ink; the screens want one colour of their own.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRect(0, 0, side, side), color);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

} // namespace quillon
