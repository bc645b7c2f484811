#include "ui/window/MainWindow.h"

#include "core/app/AppContainer.h"
#include "core/app/AppTelemetry.h"
#include "core/storage/DraftStore.h"
#include "ui/theme/Theme.h"
#include "ui/window/MainSplitView.h"

using namespace Qt::StringLiterals;

namespace quillon {

MainWindow::MainWindow(AppContainer& container, QWidget* parent)
    : QMainWindow(parent)
    , m_draftStore(container.draftStore()) {
    auto* root =
        new MainSplitView(container.draftStore(), container.linkedInSessionStore(),
                          container.postFlow(), container.connectFlow(), container.accountFlow(),
                          container.feedbackFlow(), sendTelemetryEvent, this);
    // A screen reader names the window by it; without one it says only "frame".
    setAccessibleName(u"Quillon"_s);
    setPalette(Theme::lightPalette());
    setCentralWidget(root);
    setMinimumSize(720, 500);
    resize(900, 650);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    m_draftStore.keepUnsavedText();
    QMainWindow::closeEvent(event);
}

} // namespace quillon
