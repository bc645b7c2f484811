#pragma once

#include <QMainWindow>

namespace quillon {

class AppContainer;

// The application's one window: 900 x 650 by default, at least 720 x 500, light appearance
// with the lime tint, MainSplitView as its root.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(AppContainer& container, QWidget* parent = nullptr);
};

} // namespace quillon
