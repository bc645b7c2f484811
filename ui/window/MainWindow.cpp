#include "MainWindow.h"

#include "AppContainer.h"
#include "AppTelemetry.h"
#include "MainSplitView.h"
#include "Theme.h"

namespace quillon {

MainWindow::MainWindow(AppContainer& container, QWidget* parent)
    : QMainWindow(parent)
    , m_root(new MainSplitView(container.draftStore(), container.linkedInSessionStore(),
                               container.authService(), container.postService(),
                               container.feedbackService(), sendTelemetryEvent, this)) {
    setPalette(Theme::lightPalette());
    setCentralWidget(m_root);
    setMinimumSize(720, 500);
    resize(900, 650);
}

} // namespace quillon
