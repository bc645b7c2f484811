#include "ui/kit/Symbols.h"

#include <QDir>
#include <QFont>
#include <QPainter>
#include <QStandardPaths>
#include <QStringList>

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
        return {{u"office-chart-line"_qs, u"view-statistics"_qs}, u"\u2197"_qs};
    case Symbol::docText:
        return {{u"text-x-generic-symbolic"_qs, u"text-x-generic"_qs}, u"\u2263"_qs};
    case Symbol::squareAndPencil:
        return {{u"document-edit-symbolic"_qs, u"document-edit"_qs}, u"\u270E"_qs};
    case Symbol::gearshape:
        return {{u"emblem-system-symbolic"_qs, u"configure"_qs}, u"\u2699"_qs};
    case Symbol::ladybug:
        return {{u"bug-symbolic"_qs, u"tools-report-bug"_qs}, u"!"_qs};
    case Symbol::xmark:
        return {{u"edit-delete-remove"_qs, u"window-close-symbolic"_qs}, u"\u00D7"_qs};
    case Symbol::chevronLeft:
        return {{u"go-previous-symbolic"_qs, u"go-previous"_qs}, u"\u2039"_qs};
    case Symbol::listBullet:
        return {{u"view-list-bullet-symbolic"_qs, u"format-list-unordered"_qs}, u"\u2022"_qs};
    case Symbol::listNumber:
        return {{u"view-list-ordered-symbolic"_qs, u"format-list-ordered"_qs}, u"1."_qs};
    case Symbol::person2:
        return {{u"group"_qs, u"system-users-symbolic"_qs}, u"\u263A"_qs};
    case Symbol::line3Horizontal:
        return {{u"open-menu-symbolic"_qs, u"application-menu"_qs}, u"\u2261"_qs};
    case Symbol::photoOnRectangle:
        return {{u"insert-image-symbolic"_qs, u"insert-image"_qs}, u"\u25A3"_qs};
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
            const QString icons = QDir(dir).filePath(u"icons"_qs);
            if (!paths.contains(icons) && QDir(icons).exists()) {
                paths.append(icons);
            }
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::themeName().isEmpty()) {
            QIcon::setThemeName(u"hicolor"_qs);
        }
        const QString fallback = QIcon::fallbackThemeName();
        if (fallback.isEmpty() || fallback == u"hicolor") {
            QIcon::setFallbackThemeName(u"breeze"_qs);
        }
        return true;
    }();
    Q_UNUSED(prepared);
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

QPixmap symbolPixmap(Symbol symbol, const QColor& color, int pixelSize, qreal devicePixelRatio) {
    const int side = qMax(1, qRound(pixelSize * devicePixelRatio));
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QIcon icon = symbolIcon(symbol);
    if (!icon.isNull()) {
        // Themes ship fixed sizes: the smallest one at least as large as asked, else the
        // largest, scaled to fit, where QIcon would only centre a smaller picture.
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
        QPixmap source = icon.pixmap(best.isValid() ? best : QSize(side, side));
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
