#include "app/QuillonDesktopApp.h"
#include "app/StartUpAhead.h"
#include "ui/kit/FocusRing.h"
#include "ui/theme/FocusFreeStyle.h"

#include <QApplication>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    quillon::StartUpAhead ahead;
    QApplication application(argc, argv);
    QApplication::setApplicationName(u"Quillon"_s);
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QGuiApplication::setDesktopFileName(u"dev.tovrel.quillon"_s);
    // The light appearance looks the same on every desktop; the keyboard's focus shows as the
    // one focus ring, not as the style's own marks.
    QApplication::setStyle(new quillon::FocusFreeStyle());
    quillon::FocusRing::install();

    // The fonts first: on a signed-in start the token read ahead may still be under way, and
    // the container waits for it.
    ahead.finishFonts();
    quillon::QuillonDesktopApp app(ahead.bundle(), ahead.takeConfiguration());
    app.showWindow();
    return QApplication::exec();
}
