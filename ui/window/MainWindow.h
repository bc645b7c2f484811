#pragma once

#include <QMainWindow>

namespace quillon {

class AppContainer;
class DraftStore;

// The application's one window: 900 x 650 by default, at least 720 x 500, light appearance
// with the lime tint, MainSplitView as its root. Closing it keeps the unsaved editor text for
// the next start.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppContainer& container, QWidget* parent = nullptr);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DraftStore& m_draftStore;
};

} // namespace quillon
